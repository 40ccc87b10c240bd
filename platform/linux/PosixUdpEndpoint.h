#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/UdpEndpoint.h"

namespace platform {

// A POSIX IPv4 UDP socket watched by the Qt event loop. Not QUdpSocket: that one never hears of
// a datagram the destination refused, and goes deaf when asked to.
// Whatever the kernel holds is taken at once into a queue of our own, paused or not: without
// privileges the kernel's buffer is too shallow for a burst that comes while the agent is busy.
class PosixUdpEndpoint final : public UdpEndpoint {
 public:
  // receiveBufferLimit plays net.core.rmem_max for an ordinary user, so that a test run with
  // privileges still gets the shallow receive buffer of a classroom PC.
  explicit PosixUdpEndpoint(std::function<void()> onArrival,
                            std::optional<int> receiveBufferLimit = std::nullopt);
  ~PosixUdpEndpoint() override;
  PosixUdpEndpoint(const PosixUdpEndpoint&) = delete;
  PosixUdpEndpoint& operator=(const PosixUdpEndpoint&) = delete;

  BindResult bind(std::uint16_t port) override;
  void setRemoteHost(std::string_view host) override { remoteHost_ = host; }
  void setRemotePort(std::uint16_t port) override { remotePort_ = port; }
  Sending send(std::string_view bytes) override;
  Arrival read() override;
  void setPaused(bool paused) override;

 private:
  void watch(int socket);
  void drain();
  std::optional<Arrival> receive();
  // The oldest refusal the kernel queued for us; none when none is queued.
  std::optional<Arrival> takeQueuedError();
  bool hasRoom() const;
  void scheduleArrival();
  void raiseArrival();

  const std::function<void()> onArrival_;
  const std::optional<int> receiveBufferLimit_;
  int socket_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::deque<Arrival> arrivals_;
  std::size_t queuedBytes_ = 0;
  bool paused_ = false;
  bool handling_ = false;
  bool arrivalScheduled_ = false;
  // Expires with the endpoint, which its own arrival handler may destroy.
  const std::shared_ptr<char> lifetime_ = std::make_shared<char>();
  std::string remoteHost_;
  std::uint16_t remotePort_ = 0;
  std::vector<char> buffer_;
};

class PosixNetwork final : public Network {
 public:
  std::unique_ptr<UdpEndpoint> createUdpEndpoint(std::function<void()> onArrival) override;
};

}  // namespace platform
