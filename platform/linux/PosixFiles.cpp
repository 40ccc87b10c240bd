#include "platform/linux/PosixFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

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

// Renaming over a file asks only the folder's permission: a file that may not be written,
// by this user or, as Windows' read-only attribute has it, by anyone, is kept all the same.
int WriteRefusal(const std::string& file, mode_t mode) {
  if ((mode & 0222) == 0) return EACCES;
  return access(file.c_str(), W_OK) == 0 ? 0 : errno;
}

// Whether `name` still names the file open as `file`.
bool Names(const char* name, int file) {
  struct stat opened {};
  struct stat named {};
  return fstat(file, &opened) == 0 && lstat(name, &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

// The temporary file, open and held; or why not: a refusal, or the system's error.
struct Claim {
  int file = -1;
  std::optional<FileWriteFailure::Step> refusal;
  int error = 0;
};

// Removes a file left behind, but never a link (nor what it leads to), nor a held file.
Claim RemoveLeftBehind(const char* name) {
  using Step = FileWriteFailure::Step;
  const int file = open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0 && errno == ELOOP) return {-1, Step::Linked, 0};
  if (file < 0) return {-1, {}, errno == ENOENT ? 0 : errno};
  struct stat status {};
  Claim result;
  if (flock(file, LOCK_EX | LOCK_NB) != 0) {
    result.refusal = Step::Held;
  } else if (fstat(file, &status) != 0) {
    result.error = errno;
  } else if (S_ISREG(status.st_mode) && status.st_nlink > 1) {
    result.refusal = Step::Linked;
  } else if (Names(name, file) && unlink(name) != 0) {
    result.error = errno;
  }
  close(file);
  return result;
}

// A save holds its temporary file with a lock on it from the moment it has made it, and a file
// of that name that no one holds is one that a save left when it was ended before its time.
// Only the holder of the lock on the file that the name names removes or renames it, so no save
// takes another's file away; a save that made its file just as another took the name's file for
// one left behind finds its own file gone from the name, and gives way. A file that stands there
// again after one was removed is another save's, made since.
Claim ClaimTemporary(const char* name, mode_t mode) {
  using Step = FileWriteFailure::Step;
  for (bool first = true;; first = false) {
    const int file = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    const int error = errno;
    if (file >= 0 && flock(file, LOCK_EX | LOCK_NB) == 0 && Names(name, file)) {
      return {file, {}, 0};
    }
    if (file >= 0) close(file);
    if (file >= 0 || (error == EEXIST && !first)) return {-1, Step::Held, 0};
    if (error != EEXIST) return {-1, {}, error};
    const Claim removed = RemoveLeftBehind(name);
    if (removed.refusal || removed.error != 0) return removed;
  }
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
  struct stat existing {};
  const bool targetExists = stat(target.c_str(), &existing) == 0;
  const mode_t mode = targetExists ? existing.st_mode & 07777 : 0666;
  const Claim claim = ClaimTemporary(temporary.c_str(), mode);
  if (claim.file < 0)
    return claim.refusal ? FileWriteFailure{*claim.refusal, {}}
                         : failure(Step::Create, claim.error);
  const int file = claim.file;
  // Ours alone now: removed by name on failure, errno taken before the clean-up changes it.
  const auto abandon = [&](Step step, int error = errno) {
    unlink(temporary.c_str());
    close(file);
    return failure(step, error);
  };
  // Neither the umask nor who saves decides the permissions; the owner stays where the system
  // lets it (root saving a user's file).
  if (targetExists && fchmod(file, mode) != 0) return abandon(Step::Create);
  if (targetExists) {
    [[maybe_unused]] const int owned = fchown(file, existing.st_uid, existing.st_gid);
  }
  if (!WriteAll(file, bytes)) return abandon(Step::Write);
  if (fsync(file) != 0) return abandon(Step::Flush);
  if (const int refused = targetExists ? WriteRefusal(target, mode) : 0) {
    return abandon(Step::Replace, refused);
  }
  // Held until the rename is done, so that no other save takes the file for one left behind.
  if (rename(temporary.c_str(), target.c_str()) != 0) return abandon(Step::Replace);
  close(file);
  // The target has its new bytes by now: a failure here has nothing to undo, nor to report.
  FlushFolder(target);
  return std::nullopt;
}

}  // namespace platform
