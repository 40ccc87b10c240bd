#include "platform/windows/Win32UdpEndpoint.h"

#include <ws2tcpip.h>

#include <optional>
#include <utility>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

// Holds any IPv4 datagram whole: its payload is at most 65,507 bytes.
constexpr std::size_t kDatagramBufferBytes = 64 * 1024;
// Deep enough for a burst of the master's datagrams while a page loads.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

BindResult ToBindResult(int error) {
  switch (error) {
    case WSAEADDRINUSE:
      return BindResult::PortInUse;
    case WSAEACCES:
      return BindResult::AccessDenied;
    default:
      return BindResult::Failed;
  }
}

ReadResult ToReadResult(int error) {
  return error == WSAECONNRESET ? ReadResult::RefusedByDestination : ReadResult::Failed;
}

SendResult ToSendResult(int error) {
  switch (error) {
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
      return SendResult::NetworkUnreachable;
    case WSAEACCES:  // a broadcast address on a socket without SO_BROADCAST
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
  if (host.empty()) return std::nullopt;
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(Utf8ToUtf16(host).c_str(), nullptr, &hints, &found) != 0) return std::nullopt;
  sockaddr_in address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  FreeAddrInfoW(found);
  address.sin_port = htons(port);
  return address;
}

SOCKET OpenSocket() {
  const SOCKET opened = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (opened == INVALID_SOCKET) return opened;
  const int depth = kReceiveBufferBytes;
  setsockopt(opened, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&depth), sizeof depth);
  return opened;
}

}  // namespace

int ReceiveDatagram(SOCKET socket, char* buffer, int length, sockaddr_in& from) {
  int size = sizeof from;
  return recvfrom(socket, buffer, length, 0, reinterpret_cast<sockaddr*>(&from), &size);
}

Win32UdpEndpoint::Win32UdpEndpoint(Win32MessageWindow& window, std::function<void()> onArrival,
                                   ReceiveFunction receive)
    : window_(window),
      onArrival_(std::move(onArrival)),
      receive_(receive),
      message_(window.newMessage()),
      buffer_(kDatagramBufferBytes) {
  window_.setHandler(message_, [this](WPARAM, LPARAM) { onNotification(); });
}

Win32UdpEndpoint::~Win32UdpEndpoint() {
  if (handling()) *goneWhileHandling_ = true;
  window_.removeHandler(message_);
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

BindResult Win32UdpEndpoint::bind(std::uint16_t port) {
  if (socket_ != INVALID_SOCKET) return BindResult::Failed;
  const SOCKET opened = OpenSocket();
  if (opened == INVALID_SOCKET) return BindResult::Failed;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (::bind(opened, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    closesocket(opened);
    return ToBindResult(error);
  }
  watch(opened);
  return BindResult::Bound;
}

void Win32UdpEndpoint::watch(SOCKET socket) {
  socket_ = socket;
  WSAAsyncSelect(socket_, window_.hwnd(), message_, FD_READ);
}

// Unbound, the endpoint sends from a port the system picks, and hears of refusals there too.
Sending Win32UdpEndpoint::send(std::string_view bytes) {
  if (socket_ == INVALID_SOCKET) {
    const SOCKET opened = OpenSocket();
    if (opened == INVALID_SOCKET) return {SendResult::Failed, {}};
    watch(opened);
  }
  const auto remote = ResolveIPv4(remoteHost_, remotePort_);
  if (!remote) return {SendResult::NoSuchHost, {}};
  const int sent = sendto(socket_, bytes.data(), static_cast<int>(bytes.size()), 0,
                          reinterpret_cast<const sockaddr*>(&*remote), sizeof *remote);
  return {sent != SOCKET_ERROR ? SendResult::Sent : ToSendResult(WSAGetLastError()),
          ToPeer(*remote)};
}

// A datagram that the destination refused earlier fails this read with WSAECONNRESET: the agent
// wants that report, so it is left switched on.
Arrival Win32UdpEndpoint::read() {
  sockaddr_in from{};
  const int received = receive_(socket_, buffer_.data(), static_cast<int>(buffer_.size()), from);
  const int error = received == SOCKET_ERROR ? WSAGetLastError() : 0;
  const std::optional<Peer> peer =
      from.sin_family == AF_INET ? std::optional(ToPeer(from)) : std::nullopt;
  if (error) return {ToReadResult(error), {}, peer};
  return {ReadResult::Datagram, std::string(buffer_.data(), static_cast<std::size_t>(received)),
          peer};
}

void Win32UdpEndpoint::onNotification() {
  if (handling()) {
    heldBack_ = true;
    return;
  }
  raiseArrival();
}

void Win32UdpEndpoint::raiseArrival() {
  const std::function<void()> onArrival = onArrival_;
  bool gone = false;
  goneWhileHandling_ = &gone;
  onArrival();
  if (gone) return;
  goneWhileHandling_ = nullptr;
  if (std::exchange(heldBack_, false)) PostMessageW(window_.hwnd(), message_, socket_, FD_READ);
}

Win32Network::Win32Network(Win32MessageWindow& window) : window_(window) {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32Network::~Win32Network() {
  if (started_) WSACleanup();
}

std::unique_ptr<UdpEndpoint> Win32Network::createUdpEndpoint(std::function<void()> onArrival) {
  return std::make_unique<Win32UdpEndpoint>(window_, std::move(onArrival));
}

}  // namespace platform
