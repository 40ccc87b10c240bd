#include "bench/Udp.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

// Holds any IPv4 datagram whole.
constexpr std::size_t kDatagramLimit = 64 * 1024;

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

void SetReceiveLimit(int socket, std::chrono::milliseconds limit) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(limit.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((limit.count() % 1000) * 1000);
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

}  // namespace

UdpSocket::UdpSocket(std::uint16_t port) : socket_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
  if (socket_ < 0) throw std::runtime_error("no UDP socket");
  const sockaddr_in address = Loopback(port);
  bound_ = bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

UdpSocket::~UdpSocket() {
  close(socket_);
}

std::uint16_t UdpSocket::port() const {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

bool UdpSocket::sendTo(std::uint16_t port, std::string_view bytes) const {
  const sockaddr_in address = Loopback(port);
  return sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == static_cast<ssize_t>(bytes.size());
}

// A buffer of the socket's own, as the agent reads into one it keeps.
bool UdpSocket::receive(std::chrono::milliseconds limit, bool polled) {
  static thread_local std::vector<char> buffer(kDatagramLimit);
  if (polled) {
    pollfd watched{socket_, POLLIN, 0};
    return poll(&watched, 1, static_cast<int>(limit.count())) == 1 &&
           recvfrom(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT, nullptr, nullptr) >= 0;
  }
  if (limit != receiveLimit_) {
    SetReceiveLimit(socket_, limit);
    receiveLimit_ = limit;
  }
  return recvfrom(socket_, buffer.data(), buffer.size(), 0, nullptr, nullptr) >= 0;
}

std::uint16_t UnusedPort() {
  std::random_device random;
  std::uniform_int_distribution<int> ports(20000, 32767);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto port = static_cast<std::uint16_t>(ports(random));
    if (UdpSocket(port).bound()) return port;
  }
  throw std::runtime_error("no unused UDP port");
}

}  // namespace bench
