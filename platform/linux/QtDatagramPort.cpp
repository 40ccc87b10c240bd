#include "platform/linux/QtDatagramPort.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
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

std::string QtDatagramPort::listen(std::uint16_t port,
                                   std::function<void(const ReceivedDatagram&)> onDatagram) {
  socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (socket_ < 0 || bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return std::generic_category().message(errno);
  }
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

std::vector<std::uint32_t> QtDatagramPort::addresses(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  std::vector<std::uint32_t> addresses;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    const std::uint32_t value = ntohl(address->sin_addr.s_addr);
    if (std::ranges::find(addresses, value) == addresses.end()) addresses.push_back(value);
  }
  freeaddrinfo(found);
  return addresses;
}

}  // namespace platform
