#include "ctl/Socket.h"

#include <array>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#endif

namespace ctl {
namespace {

enum class Wake { Readable, Interrupted, Failed };

#ifdef _WIN32

using Handle = SOCKET;
using ByteCount = int;
using AddressLength = int;
constexpr Handle kNoSocket = INVALID_SOCKET;
constexpr int kNoWait = 0;  // WSAEventSelect has made the socket non-blocking already

void CloseSocket(Handle socket) {
  closesocket(socket);
}
int LastError() {
  return WSAGetLastError();
}
bool WouldBlock(int error) {
  return error == WSAEWOULDBLOCK;
}

// In the system's language and code page, as the console writer expects.
std::string ErrorText(int error) {
  std::array<char, 512> text{};
  const DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, static_cast<DWORD>(error), 0, text.data(),
                                    static_cast<DWORD>(text.size()), nullptr);
  std::string message(text.data(), size);
  message.erase(message.find_last_not_of(" \r\n.") + 1);
  return message.empty() ? "error " + std::to_string(error) : message;
}

std::string ResolveErrorText(int result) {
  return ErrorText(result);
}

// Winsock stays started until the process ends; stopping it earlier gains nothing.
int StartNetwork() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

HANDLE stopEvent = nullptr;  // the console control handler has no other way to reach it

BOOL WINAPI RequestStop(DWORD) {
  SetEvent(stopEvent);
  return TRUE;
}

// Waits for a datagram or Ctrl+C, whichever comes first.
class Waiter {
 public:
  explicit Waiter(Handle socket) : ready_(WSACreateEvent()) {
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

#else

using Handle = int;
using ByteCount = std::size_t;
using AddressLength = socklen_t;
constexpr Handle kNoSocket = -1;
// A datagram with a bad checksum can make the socket readable yet leave nothing to read.
constexpr int kNoWait = MSG_DONTWAIT;

void CloseSocket(Handle socket) {
  close(socket);
}
int LastError() {
  return errno;
}
bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}
std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

std::string ResolveErrorText(int result) {
  return result == EAI_SYSTEM ? ErrorText(errno) : gai_strerror(result);
}

int StartNetwork() {
  return 0;
}

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

// SIGINT and SIGTERM stay blocked except inside pselect, so one that arrives while a datagram
// is being printed is not lost but ends the next wait. Listening is the process's last act, so
// the handlers are never taken back.
class Waiter {
 public:
  explicit Waiter(Handle socket) : socket_(socket) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, &waiting_);
    sigdelset(&waiting_, SIGINT);
    sigdelset(&waiting_, SIGTERM);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  }

  Wake Wait() {
    for (;;) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket_, &readable);
      const int ready = pselect(socket_ + 1, &readable, nullptr, nullptr, nullptr, &waiting_);
      if (stopRequested) return Wake::Interrupted;
      if (ready > 0) return Wake::Readable;
      if (errno != EINTR) return Wake::Failed;
    }
  }

 private:
  Handle socket_;
  sigset_t waiting_;  // the signal mask while waiting: the caller's, SIGINT and SIGTERM let in
};

#endif

class Socket {
 public:
  Socket() : handle_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
  ~Socket() {
    if (valid()) CloseSocket(handle_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != kNoSocket; }

 private:
  Handle handle_;
};

// Fills address with the host's first IPv4 address; returns "", or why there is none.
std::string Resolve(const std::string& host, sockaddr_in& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0) return ResolveErrorText(result);
  std::memcpy(&address, found->ai_addr, sizeof address);
  freeaddrinfo(found);
  return "";
}

std::string SenderText(const sockaddr_in& from) {
  const std::uint32_t address = ntohl(from.sin_addr.s_addr);
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF) + ":" +
         std::to_string(ntohs(from.sin_port));
}

std::string ReceiveUntilStopped(Handle socket, Waiter& waiter,
                                const std::function<void(const Datagram&)>& onDatagram) {
  std::vector<char> buffer(65536);  // more than any UDP payload, so no datagram is cut short
  for (;;) {
    const Wake wake = waiter.Wait();
    if (wake == Wake::Interrupted) return "";
    if (wake == Wake::Failed) return ErrorText(LastError());
    sockaddr_in from{};
    AddressLength length = sizeof from;
    const auto received = recvfrom(socket, buffer.data(), static_cast<ByteCount>(buffer.size()),
                                   kNoWait, reinterpret_cast<sockaddr*>(&from), &length);
    if (received >= 0) {
      onDatagram(
          {std::string(buffer.data(), static_cast<std::size_t>(received)), SenderText(from)});
    } else if (const int error = LastError(); !WouldBlock(error)) {
      return ErrorText(error);
    }
  }
}

}  // namespace

std::string SendDatagram(const Destination& to, std::string_view bytes) {
  if (const int error = StartNetwork(); error != 0) return ErrorText(error);
  sockaddr_in address{};
  if (std::string reason = Resolve(to.host, address); !reason.empty()) {
    return "unknown host (" + reason + ")";
  }
  address.sin_port = htons(to.port);
  const Socket socket;
  if (!socket.valid()) return ErrorText(LastError());
  // A teacher may address a whole classroom at its broadcast address.
  const int on = 1;
  setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
  const auto sent = sendto(socket.get(), bytes.data(), static_cast<ByteCount>(bytes.size()), 0,
                           reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return sent < 0 ? ErrorText(LastError()) : "";
}

std::string ReceiveDatagrams(std::uint16_t port, const std::function<void()>& onBound,
                             const std::function<void(const Datagram&)>& onDatagram) {
  if (const int error = StartNetwork(); error != 0) return ErrorText(error);
  const Socket socket;
  if (!socket.valid()) return ErrorText(LastError());
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return ErrorText(LastError());
  }
  Waiter waiter(socket.get());
  onBound();
  return ReceiveUntilStopped(socket.get(), waiter, onDatagram);
}

}  // namespace ctl
