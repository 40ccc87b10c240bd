#include "integration/Loopback.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

namespace loopback {
namespace {

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

sockaddr_in AnyAddress(std::uint16_t port) {
  sockaddr_in address = LoopbackAddress(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  return address;
}

}  // namespace

Peer::Peer() : Peer(0) {}

Peer::Peer(std::uint16_t port) : socket_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
  if (socket_ < 0) throw std::runtime_error("no UDP socket");
  const sockaddr_in address = AnyAddress(port);
  bound_ = bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

Peer::~Peer() {
  close(socket_);
}

void Peer::sendTo(std::uint16_t port, std::string_view bytes) const {
  const sockaddr_in address = LoopbackAddress(port);
  const auto sent = sendto(socket_, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("datagram not sent");
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

// Looks again after every pass of the event loop, so that a burst of events is not paced by
// pauses between the looks.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  bool expired = false;
  QTimer deadline;  // also wakes the last wait up
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [&] { expired = true; });
  deadline.start(limit);
  while (!condition()) {
    if (expired) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void RunFor(std::chrono::milliseconds duration) {
  WaitUntil([] { return false; }, duration);
}

// The kernel's own count of what a socket has not read, so a test knows when it is all taken.
std::size_t HeldByKernel(std::uint16_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the column names
  while (std::getline(table, line)) {
    unsigned localPort = 0;
    unsigned long held = 0;
    if (std::sscanf(line.c_str(), "%*d: %*x:%x %*x:%*x %*x %*x:%lx", &localPort, &held) == 2 &&
        localPort == port) {
      return held;
    }
  }
  throw std::runtime_error("no UDP socket on that port");
}

}  // namespace loopback
