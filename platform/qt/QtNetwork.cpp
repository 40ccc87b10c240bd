#include "platform/qt/QtNetwork.h"

#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace platform {
namespace {

// Holds any IPv4 datagram whole: its payload is at most 65,507 bytes.
constexpr std::size_t kBufferSize = 64 * 1024;
// Deep enough for a burst of datagrams that arrives while the UI thread is busy.
constexpr int kReceiveBufferSize = 4 * 1024 * 1024;

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

// The behaviour knows a refused datagram by Windows' number; other errors keep the system's.
int ToReadError(int error) {
  return error == ECONNREFUSED ? kConnectionReset : error;
}

// Resolved at each send, as the remote host may be a name whose address changes.
std::optional<sockaddr_in> Resolve(const std::string& host, std::uint16_t port) {
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
  const auto size = sizeof kReceiveBufferSize;
  if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBufferSize, size) == 0) return;
  setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferSize, size);
}

bool SendTo(int socket, std::string_view bytes, const sockaddr_in& address) {
  return sendto(socket, bytes.data(), bytes.size(), MSG_DONTWAIT,
                reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

QtUdpEndpoint::QtUdpEndpoint(std::function<void()> onArrival)
    : onArrival_(std::move(onArrival)), buffer_(kBufferSize) {}

QtUdpEndpoint::~QtUdpEndpoint() {
  if (notifier_) {
    notifier_->setEnabled(false);
    notifier_->disconnect();
    notifier_->deleteLater();
  }
  if (socket_ >= 0) close(socket_);
}

BindResult QtUdpEndpoint::bind(std::uint16_t port) {
  if (socket_ >= 0) return BindResult::Failed;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return BindResult::Failed;
  // Queues the ICMP refusal of a datagram we sent, so that a read reports it.
  const int on = 1;
  setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
  RaiseReceiveBuffer(fd);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    return ToBindResult(error);
  }
  socket_ = fd;
  // Level-triggered: after each handler, a datagram still waiting raises the next event.
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier_, &QSocketNotifier::activated, [this] { arrived(); });
  notifier_->setEnabled(!paused_);
  return BindResult::Bound;
}

// A refusal still to be read fails the next send once; it stays queued for read(), and this
// datagram goes out all the same.
bool QtUdpEndpoint::send(std::string_view bytes) {
  if (socket_ < 0) return false;
  const auto address = Resolve(remoteHost_, remotePort_);
  if (!address) return false;
  return SendTo(socket_, bytes, *address) ||
         (errno == ECONNREFUSED && SendTo(socket_, bytes, *address));
}

// Refusals come first, as the kernel reports them before any datagram still waiting.
Arrival QtUdpEndpoint::read() {
  if (const int error = takeQueuedError()) return {{}, error};
  const ssize_t size = recv(socket_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
  if (size >= 0) return {std::string(buffer_.data(), static_cast<std::size_t>(size)), 0};
  const int error = errno;
  // A refusal that came in just now: its queue entry is this report, not a second one.
  if (error == ECONNREFUSED) takeQueuedError();
  return {{}, ToReadError(error)};
}

int QtUdpEndpoint::takeQueuedError() {
  std::array<char, 512> control;
  msghdr message{};
  message.msg_control = control.data();
  message.msg_controllen = control.size();
  if (recvmsg(socket_, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return 0;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR) continue;
    sock_extended_err queued{};
    std::memcpy(&queued, CMSG_DATA(header), sizeof queued);
    return ToReadError(static_cast<int>(queued.ee_errno));
  }
  return 0;
}

void QtUdpEndpoint::setPaused(bool paused) {
  paused_ = paused;
  if (notifier_) notifier_->setEnabled(!paused);
}

void QtUdpEndpoint::arrived() {
  // A copy: the handler may destroy this endpoint, and the function with it.
  const auto handler = onArrival_;
  handler();
}

std::unique_ptr<UdpEndpoint> QtNetwork::createUdpEndpoint(std::function<void()> onArrival) {
  return std::make_unique<QtUdpEndpoint>(std::move(onArrival));
}

}  // namespace platform
