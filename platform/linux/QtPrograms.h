#pragma once

#include "platform/Programs.h"

namespace platform {

// A file that Linux hides is one whose name starts with a dot; nothing else is a system file.
class QtPrograms final : public Programs {
 public:
  bool isOrdinaryFile(std::string_view path) override;
  bool start(std::string_view path) override;
  std::string ownFolder() override;
};

}  // namespace platform
