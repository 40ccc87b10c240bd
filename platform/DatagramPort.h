// The console's UDP: datagrams sent as velostrander-ctl sends them, and the calls received on the
// UI thread, beside the web server's requests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Datagrams.h"

namespace platform {

class DatagramPort {
 public:
  virtual ~DatagramPort() = default;
  // As SendDatagram().
  virtual std::string send(const std::string& host, std::uint16_t port, std::string_view bytes) = 0;
  // Binds the port on all local IPv4 addresses, then hands every datagram, whole, to onDatagram
  // on the UI thread for as long as this object lives. Returns "", or why it could not bind, in
  // the system's words. Called once.
  virtual std::string listen(std::uint16_t port,
                             std::function<void(const ReceivedDatagram&)> onDatagram) = 0;
  // The host's IPv4 addresses, in host order; none for a name that resolves to nothing.
  virtual std::vector<std::uint32_t> addresses(const std::string& host) = 0;
};

}  // namespace platform
