// Reading a whole file, and writing one so that it is never found absent, partial or mixed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class OpenResult { Opened, NotFound, CannotOpen };

struct FileBytes {
  OpenResult result = OpenResult::CannotOpen;
  std::string bytes;
};

struct FileWriteFailure {
  enum class Step { Create, Write, Flush, Replace } step;
  std::string reason;  // the system's own words
};

// Paths are UTF-8.
class Files {
 public:
  virtual ~Files() = default;
  // The whole file; a folder of that name, a locked file or a failed read is CannotOpen.
  virtual FileBytes read(const std::string& path) = 0;
  // Writes `bytes` to `temporary`, a file of the same folder, flushes it to the disk, and puts
  // it in the place of `target` in one step. The new file has the target's permissions where a
  // file has its own (Linux), and the folder's where it inherits them (Windows). A target that
  // is read-only is not replaced: the Replace step fails. On failure the target is exactly as
  // before, and `temporary` holds the new bytes or is gone.
  virtual std::optional<FileWriteFailure> replace(const std::string& target,
                                                  const std::string& temporary,
                                                  std::string_view bytes) = 0;
};

}  // namespace platform
