#include "platform/linux/PosixInstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/linux/PosixFolders.h"

namespace platform {
namespace {

// The display, without its screen number: ":1" and ":1.0" are one session.
std::string SessionDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  std::string display = x11 && *x11 ? x11 : (wayland ? wayland : "");
  const std::size_t colon = display.rfind(':');
  const std::size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
  if (colon != std::string::npos && dot != std::string::npos) display.erase(dot);
  std::replace(display.begin(), display.end(), '/', '_');
  return display;
}

// A folder that only this user may enter, opened as itself, not through a link: this user owns
// it and no one else has any permission on it. -1 where it is none such.
int OpenPrivate(const std::filesystem::path& folder) {
  const int opened = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat status {};
  if (opened >= 0 && fstat(opened, &status) == 0 && status.st_uid == getuid() &&
      (status.st_mode & (S_IRWXG | S_IRWXO)) == 0) {
    return opened;
  }
  if (opened >= 0) close(opened);
  return -1;
}

// The session's runtime folder. Without one (an agent started outside a desktop session), a
// folder of the user's name in the shared temporary folder; where another user made that name
// first, or made it a link, a folder in the user's own cache folder, which no one else can take.
int PrivateFolder(const std::string& sharedTemporary) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (const int folder = runtime && *runtime ? OpenPrivate(runtime) : -1; folder >= 0) {
    return folder;
  }
  const std::string ofUser = sharedTemporary + "/velostrander-" + std::to_string(getuid());
  mkdir(ofUser.c_str(), S_IRWXU);
  if (const int folder = OpenPrivate(ofUser); folder >= 0) return folder;
  const std::filesystem::path own = OwnCacheFolder() / "lock";
  std::error_code ignored;
  std::filesystem::create_directories(own.parent_path(), ignored);
  mkdir(own.c_str(), S_IRWXU);
  return OpenPrivate(own);
}

}  // namespace

PosixInstanceGuard::~PosixInstanceGuard() {
  if (lock_ >= 0) close(lock_);
}

bool PosixInstanceGuard::anotherInstanceRunning() {
  if (!anotherRunning_) anotherRunning_ = !claim();
  return *anotherRunning_;
}

// False only when another process holds the lock; any other failure (not even the user's own
// cache folder can be made) lets this one run, since refusing to start is the worse mistake.
bool PosixInstanceGuard::claim() {
  const int folder = PrivateFolder(sharedTemporary_);
  if (folder < 0) return true;
  const std::string name = QCoreApplication::applicationName().toStdString();
  const std::string file = name + "-" + SessionDisplay() + ".lock";
  lock_ =
      openat(folder, file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  close(folder);
  if (lock_ < 0) return true;
  return flock(lock_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

}  // namespace platform
