#include "platform/Datagrams.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// In the system's language and code page, as the terminal writer expects.
std::string ErrorText(int error) {
  std::array<char, 512> text{};
  const DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, static_cast<DWORD>(error), 0, text.data(),
                                    static_cast<DWORD>(text.size()), nullptr);
  std::string message(text.data(), size);
  message.erase(message.find_last_not_of(" \r\n.") + 1);
  return message.empty() ? "error " + std::to_string(error) : message;
}

// Winsock stays started until the process ends; stopping it earlier gains nothing.
int StartNetwork() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

class Socket {
 public:
  Socket() : handle_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
  ~Socket() {
    if (valid()) closesocket(handle_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  SOCKET get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_SOCKET; }

 private:
  SOCKET handle_;
};

HANDLE stopEvent = nullptr;  // the console control handler has no other way to reach it

BOOL WINAPI RequestStop(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

enum class Wake { Readable, Interrupted, Failed };

// Waits for a datagram or Ctrl+C, whichever comes first.
class Waiter {
 public:
  explicit Waiter(SOCKET socket) : ready_(WSACreateEvent()) {
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(RequestStop, TRUE);
    WSAEventSelect(socket, ready_, FD_READ);
  }
  ~Waiter() { WSACloseEvent(ready_); }
  Waiter(const Waiter&) = delete;
  Waiter& operator=(const Waiter&) = delete;

  // Winsock raises FD_READ again after a read that leaves datagrams waiting, so resetting the
  // event before reading loses none.
  Wake Wait() {
    const std::array<HANDLE, 2> events{stopEvent, ready_};
    const DWORD woken = WaitForMultipleObjects(2, events.data(), FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0) return Wake::Interrupted;
    if (woken != WAIT_OBJECT_0 + 1) return Wake::Failed;
    WSAResetEvent(ready_);
    return Wake::Readable;
  }

 private:
  WSAEVENT ready_;
};

}  // namespace

std::string SendDatagram(const std::string& host, std::uint16_t port, std::string_view bytes) {
  if (const int error = StartNetwork(); error != 0) return ErrorText(error);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found); result != 0) {
    return "unknown host (" + ErrorText(result) + ")";
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  freeaddrinfo(found);
  address.sin_port = htons(port);
  const Socket socket;
  if (!socket.valid()) return ErrorText(WSAGetLastError());
  const BOOL on = TRUE;
  setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  const int sent = sendto(socket.get(), bytes.data(), static_cast<int>(bytes.size()), 0,
                          reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return sent == SOCKET_ERROR ? ErrorText(WSAGetLastError()) : "";
}

std::string ReceiveDatagrams(std::uint16_t port, const std::function<void()>& onBound,
                             const std::function<void(const ReceivedDatagram&)>& onDatagram) {
  if (const int error = StartNetwork(); error != 0) return ErrorText(error);
  const Socket socket;
  if (!socket.valid()) return ErrorText(WSAGetLastError());
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return ErrorText(WSAGetLastError());
  }
  Waiter waiter(socket.get());
  onBound();
  std::vector<char> buffer(65536);  // more than any UDP payload, so no datagram is cut short
  for (;;) {
    const Wake wake = waiter.Wait();
    if (wake == Wake::Interrupted) return "";
    if (wake == Wake::Failed) return ErrorText(static_cast<int>(GetLastError()));
    sockaddr_in from{};
    int length = sizeof from;
    // WSAEventSelect has made the socket non-blocking, so a wake with nothing to read is no hang.
    const int received = recvfrom(socket.get(), buffer.data(), static_cast<int>(buffer.size()), 0,
                                  reinterpret_cast<sockaddr*>(&from), &length);
    if (received != SOCKET_ERROR) {
      onDatagram({std::string(buffer.data(), static_cast<std::size_t>(received)),
                  ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
    } else if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK) {
      return ErrorText(error);
    }
  }
}

}  // namespace platform
