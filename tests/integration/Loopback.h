// Real sockets on the loopback interface, and a way to let the event loop run until something
// has happened.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace loopback {

// A plain UDP socket: the master console, as the tests play it.
class Peer {
 public:
  Peer();  // on a port of the system's choosing
  explicit Peer(std::uint16_t port);
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  bool bound() const { return bound_; }
  void sendTo(std::uint16_t port, std::string_view bytes) const;

 private:
  int socket_ = -1;
  bool bound_ = false;
};

// A port that nothing listens on at the moment, low enough for the settings file's signed
// 16-bit field.
std::uint16_t UnusedPort();

// Runs the event loop until `condition` holds, for `limit` at most; returns the condition.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

void RunFor(std::chrono::milliseconds duration);

// Bytes the kernel still holds for the IPv4 UDP socket bound to `port`, its error reports
// included: 0 once its owner has taken everything.
std::size_t HeldByKernel(std::uint16_t port);

}  // namespace loopback
