#pragma once

#include "platform/CodePage.h"
#include "platform/Files.h"

namespace platform {

class PosixFiles final : public Files {
 public:
  // The system's words come in the user's character set.
  explicit PosixFiles(const CodePage& codePage) : codePage_(codePage) {}

  FileBytes read(const std::string& path) override;
  std::optional<FileWriteFailure> replace(const std::string& target, const std::string& temporary,
                                          std::string_view bytes) override;

 private:
  const CodePage& codePage_;
};

}  // namespace platform
