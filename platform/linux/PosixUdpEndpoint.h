#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/UdpEndpoint.h"

namespace platform {

// A POSIX IPv4 UDP socket watched by the Qt event loop. Not QUdpSocket: that one never hears of
// a datagram the destination refused, and goes deaf when asked to.
// Each pass of the event loop raises an arrival for every datagram the kernel holds, so that the
// behaviour sees a burst whole before it acts on it.
class PosixUdpEndpoint final : public UdpEndpoint {
 public:
  explicit PosixUdpEndpoint(std::function<void()> onArrival);
  ~PosixUdpEndpoint() override;
  PosixUdpEndpoint(const PosixUdpEndpoint&) = delete;
  PosixUdpEndpoint& operator=(const PosixUdpEndpoint&) = delete;

  BindResult bind(std::uint16_t port) override;
  void setRemoteHost(std::string_view host) override { remoteHost_ = host; }
  void setRemotePort(std::uint16_t port) override { remotePort_ = port; }
  Sending send(std::string_view bytes) override;
  Arrival read() override;

 private:
  void watch(int socket);
  void raiseArrivals();
  bool readable();
  // The oldest refusal the kernel queued for us; none when none is queued.
  std::optional<Arrival> takeQueuedError();

  const std::function<void()> onArrival_;
  int socket_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  // Expires with the endpoint, which its own arrival handler may destroy.
  const std::shared_ptr<char> lifetime_ = std::make_shared<char>();
  std::string remoteHost_;
  std::uint16_t remotePort_ = 0;
  std::vector<char> buffer_;
  bool raising_ = false;
  bool errorPossible_ = true;  // a refusal may be queued: no look at the socket said otherwise
};

class PosixNetwork final : public Network {
 public:
  std::unique_ptr<UdpEndpoint> createUdpEndpoint(std::function<void()> onArrival) override;
};

}  // namespace platform
