#include <random>
#include <stdexcept>

#include "endpoint/Harness.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace harness {
namespace {

#ifdef _WIN32
void CloseSocket(SOCKET socket) {
  closesocket(socket);
}
#else
void CloseSocket(int socket) {
  close(socket);
}
#endif

sockaddr_in Address(std::uint32_t host, std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(host);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

Peer::Peer() : Peer(0) {}

Peer::Peer(std::uint16_t port) : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
  const sockaddr_in address = Address(INADDR_ANY, port);
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length);
  port_ = ntohs(bound.sin_port);
}

Peer::~Peer() {
  CloseSocket(socket_);
}

void Peer::sendTo(std::uint16_t port, std::string_view bytes) const {
  const sockaddr_in address = Address(INADDR_LOOPBACK, port);
  const long long sent = sendto(socket_, bytes.data(), static_cast<int>(bytes.size()), 0,
                                reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent != static_cast<long long>(bytes.size())) throw std::runtime_error("datagram not sent");
}

std::uint16_t UnusedPort() {
  std::random_device random;
  std::uniform_int_distribution<int> ports(20000, 32767);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto port = static_cast<std::uint16_t>(ports(random));
    if (Peer(port).bound()) return port;
  }
  throw std::runtime_error("no unused UDP port");
}

}  // namespace harness
