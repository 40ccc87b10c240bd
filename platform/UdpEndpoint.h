// The agent's one UDP endpoint: bound once, raises one arrival event per datagram on the UI
// thread, reads each datagram whole, and sends one text as one datagram. An arrival event is
// never raised while one is handled, even from an event loop that the handler runs (a message
// box's): what comes meanwhile waits in the system's receive buffer, and what that cannot hold
// the system drops. Nothing else holds datagrams back: the behaviour takes each one as it comes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class BindResult { Bound, PortInUse, AccessDenied, Failed };

enum class ReadResult {
  Datagram,
  // A datagram of ours that the destination refused: nothing listened on that port there.
  RefusedByDestination,
  Failed,
};

// Why a datagram could not be sent at all, as far as the system tells.
enum class SendResult {
  Sent,
  NoSuchHost,          // the name resolves to no address, or there is no name
  NetworkUnreachable,  // no route from here to there
  NotPermitted,        // a broadcast address, or a firewall of this computer forbids it
  Failed,
};

// An IPv4 address and a UDP port, both in host order: 127.0.0.1 is 0x7F000001.
struct Peer {
  std::uint32_t address = 0;
  std::uint16_t port = 0;

  bool operator==(const Peer&) const = default;
};

struct Arrival {
  ReadResult result = ReadResult::Datagram;
  std::string bytes;  // the whole payload, in the system's code page
  // A datagram's sender; for a refusal, the destination that refused, where the system names it
  // (Linux always does; Windows may not).
  std::optional<Peer> peer = std::nullopt;
};

struct Sending {
  SendResult result = SendResult::Sent;
  Peer to;  // the address the remote host resolved to, and the remote port, once sent
};

class UdpEndpoint {
 public:
  virtual ~UdpEndpoint() = default;
  // All local IPv4 addresses, with a receive buffer deep enough for a burst of datagrams.
  virtual BindResult bind(std::uint16_t port) = 0;
  virtual void setRemoteHost(std::string_view host) = 0;  // a host name or a dotted address
  virtual void setRemotePort(std::uint16_t port) = 0;
  // Sends to the remote host and port, from the bound port, or from a port the system picks
  // when the endpoint could not be bound. A refusal by the destination shows up later, on a read.
  virtual Sending send(std::string_view bytes) = 0;
  // Reads the pending datagram; called from the arrival event.
  virtual Arrival read() = 0;
};

class Network {
 public:
  virtual ~Network() = default;
  virtual std::unique_ptr<UdpEndpoint> createUdpEndpoint(std::function<void()> onArrival) = 0;
};

}  // namespace platform
