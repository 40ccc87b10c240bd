// Plain UDP sockets on the loopback interface: the master console as the benchmarks play it,
// and the bare receive loop the agent is measured against.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace bench {

class UdpSocket {
 public:
  explicit UdpSocket(std::uint16_t port = 0);  // 0: a port of the system's choosing
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool bound() const { return bound_; }
  std::uint16_t port() const;
  bool sendTo(std::uint16_t port, std::string_view bytes) const;
  // Blocks until a datagram has been read whole; false when none came within `limit`. Polled,
  // it waits in poll() and then reads, as an event loop does.
  bool receive(std::chrono::milliseconds limit, bool polled = false);

 private:
  int socket_ = -1;
  bool bound_ = false;
  std::chrono::milliseconds receiveLimit_{-1};
};

// A port nothing holds at the moment, low enough for the settings file's signed 16-bit field.
std::uint16_t UnusedPort();

}  // namespace bench
