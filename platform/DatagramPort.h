// The console's UDP: datagrams sent as velostrander-ctl sends them, and the calls received on the
// UI thread, beside the web server's requests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Datagrams.h"

namespace platform {

class DatagramPort {
 public:
  virtual ~DatagramPort() = default;
  // As SendDatagram().
  virtual std::string send(const std::string& host, std::uint16_t port, std::string_view bytes) = 0;
  // Binds the port on all local IPv4 addresses, then hands every datagram, whole, to onDatagram
  // on the UI thread for as long as this object lives. Returns "", or why it could not bind, in
  // the system's words. Called again, it moves to the new port and closes the old one once the
  // new one is bound; when the new one cannot be bound, the old one goes on listening.
  virtual std::string listen(std::uint16_t port,
                             std::function<void(const ReceivedDatagram&)> onDatagram) = 0;
};

}  // namespace platform
