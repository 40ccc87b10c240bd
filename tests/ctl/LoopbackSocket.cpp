#include "LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace {

sockaddr_in Address(const char* dotted, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, dotted, &address.sin_addr);
  return address;
}

}  // namespace

LoopbackSocket::LoopbackSocket(const char* address) : socket_(socket(AF_INET, SOCK_DGRAM, 0)) {
  const sockaddr_in local = Address(address, 0);
  if (socket_ < 0 || bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    throw std::runtime_error("cannot bind a loopback socket");
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length);
  port_ = ntohs(bound.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
  close(socket_);
}

std::optional<std::string> LoopbackSocket::Receive(std::chrono::milliseconds limit) const {
  pollfd ready{socket_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(limit.count())) != 1) return std::nullopt;
  std::vector<char> buffer(65536);
  const ssize_t got = recv(socket_, buffer.data(), buffer.size(), 0);
  if (got < 0) return std::nullopt;
  return std::string(buffer.data(), static_cast<std::size_t>(got));
}

void LoopbackSocket::SendTo(std::uint16_t port, std::string_view bytes) const {
  const sockaddr_in to = Address("127.0.0.1", port);
  sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}
