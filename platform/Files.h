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
  // Held: another save holds the temporary file. Linked: a link (or a reparse point) stands in
  // its place. Neither is removed, nor written to, and neither has a reason.
  enum class Step { Held, Linked, Create, Write, Flush, Replace } step;
  std::string reason;  // the system's own words
};

// Paths are UTF-8.
class Files {
 public:
  virtual ~Files() = default;
  // The whole file; a folder of that name, a locked file or a failed read is CannotOpen.
  virtual FileBytes read(const std::string& path) = 0;
  // Writes `bytes` to `temporary`, a file of the same folder that this save makes and holds
  // for itself, flushes it to the disk, and puts it in the place of `target` in one step. Of two
  // saves at once, one wins whole and the other fails as Held. A temporary file left by a save
  // that ended before its time is removed, once no one holds it. The new file keeps the target's
  // permissions and, where the system lets it, its owner (Linux), or its access list and
  // attributes (Windows). A target that is read-only is not replaced: the Replace step fails. On
  // failure the target is exactly as before, and `temporary` is gone or as this save found it.
  virtual std::optional<FileWriteFailure> replace(const std::string& target,
                                                  const std::string& temporary,
                                                  std::string_view bytes) = 0;
};

}  // namespace platform
