#include "platform/linux/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {
namespace {

// Short and interrupted writes are not failures.
bool WriteAll(int file, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(file, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Makes the rename itself last through a power cut.
void FlushFolder(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  fsync(descriptor);
  close(descriptor);
}

}  // namespace

// A path through a file that is no folder is as absent as a missing file.
FileBytes PosixFiles::read(const std::string& path) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    const bool absent = errno == ENOENT || errno == ENOTDIR;
    return {absent ? OpenResult::NotFound : OpenResult::CannotOpen, {}};
  }
  struct stat status {};
  bool failed = fstat(file, &status) != 0 || S_ISDIR(status.st_mode);
  std::string bytes;
  char buffer[1 << 16];
  for (ssize_t got = 1; !failed && got != 0;) {
    got = ::read(file, buffer, sizeof buffer);
    failed = got < 0 && errno != EINTR;
    if (got > 0) bytes.append(buffer, static_cast<std::size_t>(got));
  }
  close(file);
  if (failed) return {OpenResult::CannotOpen, {}};
  return {OpenResult::Opened, std::move(bytes)};
}

std::optional<FileWriteFailure> PosixFiles::replace(const std::string& target,
                                                    const std::string& temporary,
                                                    std::string_view bytes) {
  using Step = FileWriteFailure::Step;
  const auto failure = [this](Step step, int error) {
    return FileWriteFailure{step, codePage_.toUtf8(std::strerror(error))};
  };
  // Errno before the clean-up's calls change it.
  const auto abandon = [&](int file, Step step) {
    const int error = errno;
    if (file >= 0) close(file);
    unlink(temporary.c_str());
    return failure(step, error);
  };
  struct stat existing {};
  const bool targetExists = stat(target.c_str(), &existing) == 0;
  const mode_t mode = targetExists ? existing.st_mode & 07777 : 0666;
  // A file left there from before, read-only or a link planted to somewhere else, is not
  // written through: a new one takes its place.
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) return failure(Step::Create, errno);
  const int file =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (file < 0) return failure(Step::Create, errno);
  // Neither the umask nor who saves decides the permissions; the owner stays where the system
  // lets it (root saving a user's file).
  if (targetExists && fchmod(file, mode) != 0) return abandon(file, Step::Create);
  if (targetExists) {
    [[maybe_unused]] const int owned = fchown(file, existing.st_uid, existing.st_gid);
  }
  if (!WriteAll(file, bytes)) return abandon(file, Step::Write);
  if (fsync(file) != 0) return abandon(file, Step::Flush);
  if (close(file) != 0) return abandon(-1, Step::Flush);
  if (rename(temporary.c_str(), target.c_str()) != 0) return failure(Step::Replace, errno);
  // The target has its new bytes by now: a failure here has nothing to undo, nor to report.
  FlushFolder(target);
  return std::nullopt;
}

}  // namespace platform
