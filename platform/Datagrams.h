// Blocking UDP over IPv4 for the command-line programs, which wait on nothing else: one datagram
// sent, or every datagram received until the user interrupts. The agent, which waits on its
// windows too, has UdpEndpoint instead.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

struct ReceivedDatagram {
  std::string bytes;
  std::uint32_t address = 0;  // the sender's IPv4 address, in host order
  std::uint16_t port = 0;
};

// Sends the bytes as one datagram to the host's first IPv4 address; a broadcast address is
// allowed, as a teacher may address a whole classroom at once. Returns "", or why the datagram
// could not be sent, in the system's code page: "unknown host (…)" where the host has no IPv4
// address. Whether anyone received it is not known.
std::string SendDatagram(const std::string& host, std::uint16_t port, std::string_view bytes);

// Binds the port on all local IPv4 addresses, calls onBound, then hands every datagram to
// onDatagram until SIGINT or SIGTERM (Ctrl+C on Windows) arrives. Returns "" after such an
// interrupt, otherwise why it could not bind or stopped receiving.
std::string ReceiveDatagrams(std::uint16_t port, const std::function<void()>& onBound,
                             const std::function<void(const ReceivedDatagram&)>& onDatagram);

}  // namespace platform
