#include "platform/Datagrams.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <vector>

namespace platform {
namespace {

std::string ErrorText(int error) {
  return std::generic_category().message(error);
}

class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
  stopRequested = 1;
}

// SIGINT and SIGTERM stay blocked except inside pselect, so one that arrives while a datagram
// is being handled is not lost but ends the next wait. Listening is the process's last act, so
// the handlers are never taken back.
sigset_t TakeStopSignals() {
  sigset_t stop;
  sigset_t waiting;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, &waiting);
  sigdelset(&waiting, SIGINT);
  sigdelset(&waiting, SIGTERM);
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  return waiting;
}

// True once a datagram may be read; false on an interrupt (errno 0) or a failure.
bool WaitReadable(int fd, const sigset_t& waiting) {
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    const int ready = pselect(fd + 1, &readable, nullptr, nullptr, nullptr, &waiting);
    if (stopRequested) {
      errno = 0;
      return false;
    }
    if (ready > 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

std::string SendDatagram(const std::string& host, std::uint16_t port, std::string_view bytes) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found); result != 0) {
    return "unknown host (" + (result == EAI_SYSTEM ? ErrorText(errno) : gai_strerror(result)) +
           ")";
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  freeaddrinfo(found);
  address.sin_port = htons(port);
  const Socket socket;
  if (!socket.valid()) return ErrorText(errno);
  const int on = 1;
  setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  const ssize_t sent = sendto(socket.get(), bytes.data(), bytes.size(), 0,
                              reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return sent < 0 ? ErrorText(errno) : "";
}

std::string ReceiveDatagrams(std::uint16_t port, const std::function<void()>& onBound,
                             const std::function<void(const ReceivedDatagram&)>& onDatagram) {
  const Socket socket;
  if (!socket.valid()) return ErrorText(errno);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return ErrorText(errno);
  }
  const sigset_t waiting = TakeStopSignals();
  onBound();
  std::vector<char> buffer(65536);  // more than any UDP payload, so no datagram is cut short
  while (WaitReadable(socket.get(), waiting)) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    // A datagram with a bad checksum can make the socket readable yet leave nothing to read.
    const ssize_t received = recvfrom(socket.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&from), &length);
    if (received >= 0) {
      onDatagram({std::string(buffer.data(), static_cast<std::size_t>(received)),
                  ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)});
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return ErrorText(errno);
    }
  }
  return errno == 0 ? "" : ErrorText(errno);
}

}  // namespace platform
