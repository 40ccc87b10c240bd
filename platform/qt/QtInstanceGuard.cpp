#include "platform/qt/QtInstanceGuard.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
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
  return display;
}

std::string ClaimName() {
  return "velostrander-child/" + std::to_string(getuid()) + "/" + SessionDisplay();
}

}  // namespace

QtInstanceGuard::~QtInstanceGuard() {
  if (socket_ >= 0) close(socket_);
}

bool QtInstanceGuard::anotherInstanceRunning() {
  if (!anotherRunning_) anotherRunning_ = !claim();
  return *anotherRunning_;
}

// False only when another process holds the name; any other failure lets this one run, since
// refusing to start is the worse mistake.
bool QtInstanceGuard::claim() {
  socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_ < 0) return true;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = ClaimName();
  const std::size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
  name.copy(address.sun_path + 1, length);  // a leading NUL puts the name in the abstract namespace
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), size) == 0) return true;
  return errno != EADDRINUSE;
}

}  // namespace platform
