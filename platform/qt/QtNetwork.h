#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/UdpEndpoint.h"

namespace platform {

// A POSIX IPv4 UDP socket watched by the Qt event loop. Not QUdpSocket: that one never hears of
// a datagram the destination refused, and goes deaf when asked to.
class QtUdpEndpoint final : public UdpEndpoint {
 public:
  explicit QtUdpEndpoint(std::function<void()> onArrival);
  ~QtUdpEndpoint() override;
  QtUdpEndpoint(const QtUdpEndpoint&) = delete;
  QtUdpEndpoint& operator=(const QtUdpEndpoint&) = delete;

  BindResult bind(std::uint16_t port) override;
  void setRemoteHost(std::string_view host) override { remoteHost_ = host; }
  void setRemotePort(std::uint16_t port) override { remotePort_ = port; }
  bool send(std::string_view bytes) override;
  Arrival read() override;
  void setPaused(bool paused) override;

 private:
  void arrived();
  // The oldest refusal the kernel queued for us, as a read error; 0 when none is queued.
  int takeQueuedError();

  const std::function<void()> onArrival_;
  int socket_ = -1;
  // Deleted later, not here: the endpoint may be destroyed from its own arrival handler.
  QSocketNotifier* notifier_ = nullptr;
  bool paused_ = false;
  std::string remoteHost_;
  std::uint16_t remotePort_ = 0;
  std::vector<char> buffer_;
};

class QtNetwork final : public Network {
 public:
  std::unique_ptr<UdpEndpoint> createUdpEndpoint(std::function<void()> onArrival) override;
};

}  // namespace platform
