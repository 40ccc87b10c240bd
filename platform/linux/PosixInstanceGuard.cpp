#include "platform/linux/PosixInstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

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

// A folder of this user's own that no one else may enter.
bool IsPrivate(const std::string& folder) {
  struct stat status {};
  return lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == getuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The session's runtime folder; without one (an agent started outside a desktop session), a
// folder of the user's own under /tmp.
std::string PrivateFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && IsPrivate(runtime)) return runtime;
  const std::string fallback = "/tmp/velostrander-" + std::to_string(getuid());
  mkdir(fallback.c_str(), S_IRWXU);
  return IsPrivate(fallback) ? fallback : std::string();
}

}  // namespace

PosixInstanceGuard::~PosixInstanceGuard() {
  if (lock_ >= 0) close(lock_);
}

bool PosixInstanceGuard::anotherInstanceRunning() {
  if (!anotherRunning_) anotherRunning_ = !claim();
  return *anotherRunning_;
}

// False only when another process holds the lock; any other failure lets this one run, since
// refusing to start is the worse mistake.
bool PosixInstanceGuard::claim() {
  const std::string folder = PrivateFolder();
  if (folder.empty()) return true;
  const std::string name = QCoreApplication::applicationName().toStdString();
  const std::string file = folder + "/" + name + "-" + SessionDisplay() + ".lock";
  lock_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (lock_ < 0) return true;
  return flock(lock_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

}  // namespace platform
