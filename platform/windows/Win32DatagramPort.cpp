#include "platform/windows/Win32DatagramPort.h"

#include <array>
#include <utility>

#include "platform/windows/Win32Text.h"

namespace platform {

Win32DatagramPort::Win32DatagramPort(Win32MessageWindow& window) : window_(window) {
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Win32DatagramPort::~Win32DatagramPort() {
  close();
  if (started_) WSACleanup();
}

std::string Win32DatagramPort::send(const std::string& host, std::uint16_t port,
                                    std::string_view bytes) {
  return SendDatagram(host, port, bytes);
}

// The new port is bound before the old one goes, so that a port that cannot be had leaves the
// console listening where it did.
std::string Win32DatagramPort::listen(std::uint16_t port,
                                      std::function<void(const ReceivedDatagram&)> onDatagram) {
  const SOCKET opened = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  // No other program may bind the port beside the console and take the calls meant for it.
  const BOOL exclusive = TRUE;
  setsockopt(opened, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  if (opened == INVALID_SOCKET ||
      bind(opened, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const std::string problem = DescribeSystemError(static_cast<DWORD>(WSAGetLastError()));
    if (opened != INVALID_SOCKET) closesocket(opened);
    return problem;
  }
  close();
  socket_ = opened;
  onDatagram_ = std::move(onDatagram);
  message_ = window_.newMessage();
  window_.setHandler(message_, [this](WPARAM, LPARAM) { readAll(); });
  WSAAsyncSelect(socket_, window_.hwnd(), message_, FD_READ);
  return "";
}

void Win32DatagramPort::close() {
  if (socket_ == INVALID_SOCKET) return;
  window_.removeHandler(message_);
  closesocket(std::exchange(socket_, INVALID_SOCKET));
}

// Until the socket is empty: a read re-arms FD_READ, so nothing is left behind either way.
void Win32DatagramPort::readAll() {
  std::array<char, 65536> buffer;  // more than any UDP payload, so no datagram is cut short
  for (;;) {
    sockaddr_in from{};
    int length = sizeof from;
    const int received = recvfrom(socket_, buffer.data(), static_cast<int>(buffer.size()), 0,
                                  reinterpret_cast<sockaddr*>(&from), &length);
    // A refusal of a datagram sent earlier (WSAECONNRESET) says nothing of the next one.
    if (received == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET) continue;
    if (received == SOCKET_ERROR) return;
    onDatagram_({std::string(buffer.data(), static_cast<std::size_t>(received)),
                 ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
  }
}

}  // namespace platform
