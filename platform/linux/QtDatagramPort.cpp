#include "platform/linux/QtDatagramPort.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <system_error>

namespace platform {

QtDatagramPort::QtDatagramPort() = default;

QtDatagramPort::~QtDatagramPort() {
  notifier_.reset();
  if (socket_ >= 0) close(socket_);
}

std::string QtDatagramPort::send(const std::string& host, std::uint16_t port,
                                 std::string_view bytes) {
  return SendDatagram(host, port, bytes);
}

// The new socket is bound before the old one closes, so a port that cannot be had costs nothing.
std::string QtDatagramPort::listen(std::uint16_t port,
                                   std::function<void(const ReceivedDatagram&)> onDatagram) {
  const int bound = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (bound < 0 || bind(bound, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const std::string reason = std::generic_category().message(errno);
    if (bound >= 0) close(bound);
    return reason;
  }
  notifier_.reset();
  if (socket_ >= 0) close(socket_);
  socket_ = bound;
  onDatagram_ = std::move(onDatagram);
  notifier_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readAll(); });
  return "";
}

// Until the socket is empty, so that one wake-up serves a burst.
void QtDatagramPort::readAll() {
  std::array<char, 65536> buffer;  // more than any UDP payload, so no datagram is cut short
  for (;;) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t received = recvfrom(socket_, buffer.data(), buffer.size(), 0,
                                      reinterpret_cast<sockaddr*>(&from), &length);
    if (received < 0) return;
    onDatagram_({std::string(buffer.data(), static_cast<std::size_t>(received)),
                 ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
  }
}

}  // namespace platform
