#pragma once

#include <memory>

#include "platform/DatagramPort.h"

class QSocketNotifier;

namespace platform {

// A POSIX socket watched by the Qt event loop; sends through SendDatagram(). Needs a
// QCoreApplication.
class QtDatagramPort final : public DatagramPort {
 public:
  QtDatagramPort();
  ~QtDatagramPort() override;
  QtDatagramPort(const QtDatagramPort&) = delete;
  QtDatagramPort& operator=(const QtDatagramPort&) = delete;

  std::string send(const std::string& host, std::uint16_t port, std::string_view bytes) override;
  std::string listen(std::uint16_t port,
                     std::function<void(const ReceivedDatagram&)> onDatagram) override;

 private:
  void readAll();

  int socket_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(const ReceivedDatagram&)> onDatagram_;
};

}  // namespace platform
