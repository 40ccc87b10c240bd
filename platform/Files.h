// Writing a file so that it is never found absent, partial or mixed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct FileWriteFailure {
  enum class Step { Create, Write, Flush, Replace } step;
  std::string reason;  // the system's own words
};

class Files {
 public:
  virtual ~Files() = default;
  // Writes `bytes` to `temporary`, a file of the same folder, flushes it to the disk, and puts
  // it in the place of `target` in one step; the target keeps its permissions. On failure the
  // target is exactly as before, and `temporary` holds the new bytes or is gone.
  virtual std::optional<FileWriteFailure> replace(const std::filesystem::path& target,
                                                  const std::filesystem::path& temporary,
                                                  std::string_view bytes) = 0;
};

}  // namespace platform
