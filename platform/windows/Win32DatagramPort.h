#pragma once

#include <winsock2.h>

#include <functional>

#include "platform/DatagramPort.h"
#include "platform/windows/Win32MessageWindow.h"

namespace platform {

// Sends through SendDatagram(); listens on a Winsock socket that reports to the backend's message
// window (WSAAsyncSelect), so datagrams arrive on the UI thread from the event loop.
class Win32DatagramPort final : public DatagramPort {
 public:
  explicit Win32DatagramPort(Win32MessageWindow& window);
  ~Win32DatagramPort() override;
  Win32DatagramPort(const Win32DatagramPort&) = delete;
  Win32DatagramPort& operator=(const Win32DatagramPort&) = delete;

  std::string send(const std::string& host, std::uint16_t port, std::string_view bytes) override;
  std::string listen(std::uint16_t port,
                     std::function<void(const ReceivedDatagram&)> onDatagram) override;

 private:
  void readAll();
  void close();

  Win32MessageWindow& window_;
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  UINT message_ = 0;  // the socket's own: one still queued for a closed socket reaches no one
  std::function<void(const ReceivedDatagram&)> onDatagram_;
};

}  // namespace platform
