#include "platform/linux/PosixUdpEndpoint.h"

#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace platform {
namespace {

// Holds any IPv4 datagram whole: its payload is at most 65,507 bytes.
constexpr std::size_t kDatagramBufferBytes = 64 * 1024;
// Deep enough for a burst of datagrams that arrives while the UI thread is busy.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// A pass takes at most this many, so that a flood leaves the event loop's other work its turn.
constexpr int kArrivalsAPass = 1000;

BindResult ToBindResult(int error) {
  switch (error) {
    case EADDRINUSE:
      return BindResult::PortInUse;
    case EACCES:
      return BindResult::AccessDenied;
    default:
      return BindResult::Failed;
  }
}

ReadResult ToReadResult(int error) {
  return error == ECONNREFUSED ? ReadResult::RefusedByDestination : ReadResult::Failed;
}

// 0: sent.
SendResult ToSendResult(int error) {
  switch (error) {
    case 0:
      return SendResult::Sent;
    case ENETUNREACH:
    case EHOSTUNREACH:
      return SendResult::NetworkUnreachable;
    case EACCES:  // a broadcast address on a socket without SO_BROADCAST
    case EPERM:   // a firewall rule
      return SendResult::NotPermitted;
    default:
      return SendResult::Failed;
  }
}

Peer ToPeer(const sockaddr_in& address) {
  return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

// Resolved at each send, as the remote host may be a name whose address changes.
std::optional<sockaddr_in> ResolveIPv4(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  freeaddrinfo(found);
  address.sin_port = htons(port);
  return address;
}

// Past net.core.rmem_max only with CAP_NET_ADMIN; for anyone else the kernel caps the size there.
void RaiseReceiveBuffer(int socket) {
  const int wanted = kReceiveBufferBytes;
  if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) == 0) return;
  setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
}

// Queues the ICMP refusal of a datagram we sent, so that a read reports it.
int OpenSocket() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return fd;
  const int on = 1;
  setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
  RaiseReceiveBuffer(fd);
  return fd;
}

// The error that stopped it, 0 when it went: a datagram goes whole or not at all.
int SendTo(int socket, std::string_view bytes, const sockaddr_in& address) {
  return sendto(socket, bytes.data(), bytes.size(), MSG_DONTWAIT,
                reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0
             ? errno
             : 0;
}

}  // namespace

PosixUdpEndpoint::PosixUdpEndpoint(std::function<void()> onArrival)
    : onArrival_(std::move(onArrival)), buffer_(kDatagramBufferBytes) {}

PosixUdpEndpoint::~PosixUdpEndpoint() {
  // Before the descriptor it watches is closed, and perhaps reused.
  notifier_.reset();
  if (socket_ >= 0) close(socket_);
}

BindResult PosixUdpEndpoint::bind(std::uint16_t port) {
  if (socket_ >= 0) return BindResult::Failed;
  const int fd = OpenSocket();
  if (fd < 0) return BindResult::Failed;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    return ToBindResult(error);
  }
  watch(fd);
  return BindResult::Bound;
}

void PosixUdpEndpoint::watch(int socket) {
  socket_ = socket;
  notifier_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { raiseArrivals(); });
}

// Unbound, the endpoint sends from a port the system picks, and hears of refusals there too.
// A refusal still to be read fails the next send once; it stays queued for read(), and this
// datagram goes out all the same.
Sending PosixUdpEndpoint::send(std::string_view bytes) {
  if (socket_ < 0) {
    const int fd = OpenSocket();
    if (fd < 0) return {SendResult::Failed, {}};
    watch(fd);
  }
  const auto address = ResolveIPv4(remoteHost_, remotePort_);
  if (!address) return {SendResult::NoSuchHost, {}};
  int error = SendTo(socket_, bytes, *address);
  if (error == ECONNREFUSED) error = SendTo(socket_, bytes, *address);
  return {ToSendResult(error), ToPeer(*address)};
}

// Refusals come first, as the kernel reports them before any datagram still waiting. Their queue
// is looked at only when the last look at the socket found an error, or there was no such look:
// each system call costs a microsecond or more on a virtual machine, and this is every datagram.
Arrival PosixUdpEndpoint::read() {
  if (std::exchange(errorPossible_, true)) {
    if (std::optional<Arrival> refusal = takeQueuedError()) return *refusal;
  }
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t size = recvfrom(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                                reinterpret_cast<sockaddr*>(&sender), &length);
  if (size >= 0) {
    return {ReadResult::Datagram, std::string(buffer_.data(), static_cast<std::size_t>(size)),
            ToPeer(sender)};
  }
  const int error = errno;
  // An error that came in just now, a refusal most often: its queue entry is this report, not
  // a second one, and names where the refused datagram went.
  const std::optional<Arrival> queued =
      error != EAGAIN && error != EINTR ? takeQueuedError() : std::nullopt;
  return {ToReadResult(error), {}, queued ? queued->peer : std::nullopt};
}

// A handler is never entered again from an event loop of its own (a message box's): the notifier
// goes off when that loop finds the socket readable, and the kernel keeps what comes meanwhile.
// Only then: switching it costs the glib event loop a wake-up of its own, twice a datagram.
void PosixUdpEndpoint::raiseArrivals() {
  if (raising_) return notifier_->setEnabled(false);
  raising_ = true;
  const std::weak_ptr<char> alive = lifetime_;
  // A copy: the handler may destroy this endpoint, and the function with it.
  const auto handler = onArrival_;
  for (int raised = 0; raised < kArrivalsAPass && readable(); ++raised) {
    handler();
    if (alive.expired()) return;
  }
  raising_ = false;
  notifier_->setEnabled(true);
}

// A datagram or a refusal waits.
bool PosixUdpEndpoint::readable() {
  pollfd watched{socket_, POLLIN, 0};
  const bool ready = poll(&watched, 1, 0) == 1;
  errorPossible_ = (watched.revents & POLLERR) != 0;
  return ready;
}

// The entry's name is the refused datagram's destination: what tells our call's refusal from
// one that anyone on the network may forge.
std::optional<Arrival> PosixUdpEndpoint::takeQueuedError() {
  std::array<char, 512> control;
  sockaddr_in destination{};
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  if (recvmsg(socket_, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return std::nullopt;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR) continue;
    sock_extended_err queued{};
    std::memcpy(&queued, CMSG_DATA(header), sizeof queued);
    if (queued.ee_errno == 0) break;
    const bool named =
        message.msg_namelen >= sizeof destination && destination.sin_family == AF_INET;
    return Arrival{ToReadResult(static_cast<int>(queued.ee_errno)),
                   {},
                   named ? std::optional(ToPeer(destination)) : std::nullopt};
  }
  return std::nullopt;
}

std::unique_ptr<UdpEndpoint> PosixNetwork::createUdpEndpoint(std::function<void()> onArrival) {
  return std::make_unique<PosixUdpEndpoint>(std::move(onArrival));
}

}  // namespace platform
