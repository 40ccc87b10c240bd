// UDP over IPv4: Winsock on Windows, POSIX sockets elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ctl/Address.h"

namespace ctl {

struct Datagram {
  std::string bytes;
  std::string sender;  // "address:port"
};

// Sends the bytes as one datagram to the host's first IPv4 address. Returns "", or why the
// datagram could not be sent; whether anyone received it is not known.
std::string SendDatagram(const Destination& to, std::string_view bytes);

// Binds the port on all local IPv4 addresses, calls onBound, then hands every datagram to
// onDatagram until SIGINT or SIGTERM (Ctrl+C on Windows) arrives. Returns "" after such an
// interrupt, otherwise why it could not bind or stopped receiving.
std::string ReceiveDatagrams(std::uint16_t port, const std::function<void()>& onBound,
                             const std::function<void(const Datagram&)>& onDatagram);

}  // namespace ctl
