#pragma once

#include "platform/Programs.h"

namespace platform {

class Win32Programs final : public Programs {
 public:
  bool isOrdinaryFile(std::string_view path) override;
  bool start(std::string_view path) override;
  std::string ownFolder() override;
};

}  // namespace platform
