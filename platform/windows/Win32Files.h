#pragma once

#include "platform/Files.h"

namespace platform {

class Win32Files final : public Files {
 public:
  FileBytes read(const std::string& path) override;
  std::optional<FileWriteFailure> replace(const std::string& target, const std::string& temporary,
                                          std::string_view bytes) override;
};

}  // namespace platform
