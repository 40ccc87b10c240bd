#pragma once

#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/UdpEndpoint.h"
#include "platform/windows/Win32MessageWindow.h"

namespace platform {

// Receives one datagram as recvfrom does: its length, or SOCKET_ERROR with the reason left in
// WSAGetLastError; `from` as recvfrom fills it in (with WSAECONNRESET, the refused destination,
// where the system names it), left zero where it does not.
using ReceiveFunction = int (*)(SOCKET socket, char* buffer, int length, sockaddr_in& from);
int ReceiveDatagram(SOCKET socket, char* buffer, int length, sockaddr_in& from);

// A Winsock UDP socket that reports arrivals to the backend's message window (WSAAsyncSelect):
// Winsock posts one FD_READ and the next only after a read, so each arrival event stands for
// one datagram. No arrival event is raised while one is being handled; the notification held
// back is posted again once the handler has returned.
class Win32UdpEndpoint final : public UdpEndpoint {
 public:
  Win32UdpEndpoint(Win32MessageWindow& window, std::function<void()> onArrival,
                   ReceiveFunction receive = &ReceiveDatagram);
  ~Win32UdpEndpoint() override;
  Win32UdpEndpoint(const Win32UdpEndpoint&) = delete;
  Win32UdpEndpoint& operator=(const Win32UdpEndpoint&) = delete;

  BindResult bind(std::uint16_t port) override;
  void setRemoteHost(std::string_view host) override { remoteHost_ = host; }
  void setRemotePort(std::uint16_t port) override { remotePort_ = port; }
  Sending send(std::string_view bytes) override;
  Arrival read() override;

 private:
  void watch(SOCKET socket);
  void onNotification();
  // The handler may destroy this endpoint: nothing touches it afterwards if it did.
  void raiseArrival();
  bool handling() const { return goneWhileHandling_ != nullptr; }

  Win32MessageWindow& window_;
  std::function<void()> onArrival_;
  ReceiveFunction receive_;
  UINT message_;
  SOCKET socket_ = INVALID_SOCKET;
  std::string remoteHost_;
  std::uint16_t remotePort_ = 0;
  std::vector<char> buffer_;
  bool heldBack_ = false;
  // Set while the arrival handler runs: the caller's flag, by which the destructor tells it
  // that this endpoint is gone.
  bool* goneWhileHandling_ = nullptr;
};

// Winsock 2, started once for the program's run.
class Win32Network final : public Network {
 public:
  explicit Win32Network(Win32MessageWindow& window);
  ~Win32Network() override;
  Win32Network(const Win32Network&) = delete;
  Win32Network& operator=(const Win32Network&) = delete;

  std::unique_ptr<UdpEndpoint> createUdpEndpoint(std::function<void()> onArrival) override;

 private:
  Win32MessageWindow& window_;
  bool started_ = false;
};

}  // namespace platform
