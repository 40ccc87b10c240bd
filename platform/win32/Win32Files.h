#pragma once

#include "platform/Files.h"

namespace platform {

class Win32Files final : public Files {
 public:
  std::optional<FileWriteFailure> replace(const std::filesystem::path& target,
                                          const std::filesystem::path& temporary,
                                          std::string_view bytes) override;
};

}  // namespace platform
