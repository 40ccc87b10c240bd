// A UDP socket of the test's own, bound to a port the system picks.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class LoopbackSocket {
 public:
  // address: "127.0.0.1", or "0.0.0.0" to hold a port on every local address.
  explicit LoopbackSocket(const char* address = "127.0.0.1");
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  std::uint16_t port() const { return port_; }
  // The next datagram, or nothing when none arrived within the limit.
  std::optional<std::string> Receive(std::chrono::milliseconds limit) const;
  void SendTo(std::uint16_t port, std::string_view bytes) const;  // to 127.0.0.1

 private:
  int socket_;
  std::uint16_t port_ = 0;
};
