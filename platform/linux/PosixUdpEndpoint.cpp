#include "platform/linux/PosixUdpEndpoint.h"

#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace platform {
namespace {

// Holds any IPv4 datagram whole: its payload is at most 65,507 bytes.
constexpr std::size_t kDatagramBufferBytes = 64 * 1024;
// Deep enough for a burst of datagrams that arrives while the UI thread is busy.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
// Past either, the kernel's buffer holds the rest: memory stays bounded whatever is sent.
constexpr std::size_t kMaxQueuedBytes = 64 * 1024 * 1024;
constexpr std::size_t kMaxQueuedDatagrams = 100000;

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
void RaiseReceiveBuffer(int socket, std::optional<int> limit) {
  const int wanted = std::min(kReceiveBufferBytes, limit.value_or(kReceiveBufferBytes));
  const auto size = sizeof wanted;
  if (!limit && setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, size) == 0) return;
  setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &wanted, size);
}

// Queues the ICMP refusal of a datagram we sent, so that a read reports it.
int OpenSocket(std::optional<int> receiveBufferLimit) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return fd;
  const int on = 1;
  setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
  RaiseReceiveBuffer(fd, receiveBufferLimit);
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

PosixUdpEndpoint::PosixUdpEndpoint(std::function<void()> onArrival,
                                   std::optional<int> receiveBufferLimit)
    : onArrival_(std::move(onArrival)),
      receiveBufferLimit_(receiveBufferLimit),
      buffer_(kDatagramBufferBytes) {}

PosixUdpEndpoint::~PosixUdpEndpoint() {
  // Before the descriptor it watches is closed, and perhaps reused.
  notifier_.reset();
  if (socket_ >= 0) close(socket_);
}

BindResult PosixUdpEndpoint::bind(std::uint16_t port) {
  if (socket_ >= 0) return BindResult::Failed;
  const int fd = OpenSocket(receiveBufferLimit_);
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
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });
}

// Unbound, the endpoint sends from a port the system picks, and hears of refusals there too.
// A refusal still to be read fails the next send once; it stays queued for read(), and this
// datagram goes out all the same.
Sending PosixUdpEndpoint::send(std::string_view bytes) {
  if (socket_ < 0) {
    const int fd = OpenSocket(receiveBufferLimit_);
    if (fd < 0) return {SendResult::Failed, {}};
    watch(fd);
  }
  const auto address = ResolveIPv4(remoteHost_, remotePort_);
  if (!address) return {SendResult::NoSuchHost, {}};
  int error = SendTo(socket_, bytes, *address);
  if (error == ECONNREFUSED) error = SendTo(socket_, bytes, *address);
  return {ToSendResult(error), ToPeer(*address)};
}

Arrival PosixUdpEndpoint::read() {
  // As a read of an empty socket would report it.
  if (arrivals_.empty()) return {ReadResult::Failed, {}};
  Arrival front = std::move(arrivals_.front());
  arrivals_.pop_front();
  queuedBytes_ -= front.bytes.size();
  // Room again for whatever the kernel kept while the queue was full.
  if (notifier_) notifier_->setEnabled(true);
  return front;
}

void PosixUdpEndpoint::setPaused(bool paused) {
  paused_ = paused;
  scheduleArrival();
}

void PosixUdpEndpoint::drain() {
  while (hasRoom()) {
    std::optional<Arrival> next = receive();
    if (!next) break;
    queuedBytes_ += next->bytes.size();
    arrivals_.push_back(std::move(*next));
  }
  notifier_->setEnabled(hasRoom());
  // The socket's notice comes from the event loop with no handler running under it, so the
  // first datagram is handled at once: posting it would only add a pass of the loop.
  if (!handling_ && !arrivalScheduled_) return raiseArrival();
  scheduleArrival();
}

// Refusals come first, as the kernel reports them before any datagram still waiting.
std::optional<Arrival> PosixUdpEndpoint::receive() {
  if (std::optional<Arrival> refusal = takeQueuedError()) return refusal;
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t size = recvfrom(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                                reinterpret_cast<sockaddr*>(&sender), &length);
  if (size >= 0) {
    return Arrival{ReadResult::Datagram,
                   std::string(buffer_.data(), static_cast<std::size_t>(size)), ToPeer(sender)};
  }
  const int error = errno;
  if (error == EAGAIN || error == EINTR) return std::nullopt;
  // An error that came in just now, a refusal most often: its queue entry is this report, not
  // a second one, and names where the refused datagram went.
  const std::optional<Arrival> queued = takeQueuedError();
  return Arrival{ToReadResult(error), {}, queued ? queued->peer : std::nullopt};
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

bool PosixUdpEndpoint::hasRoom() const {
  return queuedBytes_ < kMaxQueuedBytes && arrivals_.size() < kMaxQueuedDatagrams;
}

// Posted, never called here: a handler is not entered again from within itself, nor from an
// event loop it runs.
void PosixUdpEndpoint::scheduleArrival() {
  if (arrivalScheduled_ || handling_ || paused_ || arrivals_.empty()) return;
  arrivalScheduled_ = true;
  const std::weak_ptr<char> alive = lifetime_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, alive] {
        if (!alive.expired()) raiseArrival();
      },
      Qt::QueuedConnection);
}

void PosixUdpEndpoint::raiseArrival() {
  arrivalScheduled_ = false;
  if (handling_ || paused_ || arrivals_.empty()) return;
  handling_ = true;
  const std::weak_ptr<char> alive = lifetime_;
  // A copy: the handler may destroy this endpoint, and the function with it.
  const auto handler = onArrival_;
  handler();
  if (alive.expired()) return;
  handling_ = false;
  // A handler that left its datagram unread gets it again, as the kernel's notice would.
  scheduleArrival();
}

std::unique_ptr<UdpEndpoint> PosixNetwork::createUdpEndpoint(std::function<void()> onArrival) {
  return std::make_unique<PosixUdpEndpoint>(std::move(onArrival));
}

}  // namespace platform
