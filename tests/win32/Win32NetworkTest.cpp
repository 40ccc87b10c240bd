#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <string>
#include <vector>

#include "Backend.h"
#include "SelfCheck.h"
#include "platform/win32/Win32Network.h"

namespace {

using platform::Arrival;
using platform::BindResult;
using platform::UdpEndpoint;
using platform::Win32UdpEndpoint;
using selfcheck::PumpUntil;
using win32test::TheBackend;

constexpr int kLargestDatagram = 65507;

// A plain socket on the loopback address, as another program would have one.
class RawSocket {
 public:
  RawSocket() : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
  ~RawSocket() { closesocket(socket_); }
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;

  // Port 0 lets the system choose a free one; returns the port bound.
  std::uint16_t bind(std::uint16_t port = 0) {
    sockaddr_in address = Loopback(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
  }

  void sendTo(std::uint16_t port, const std::string& bytes) {
    const sockaddr_in address = Loopback(port);
    sendto(socket_, bytes.data(), static_cast<int>(bytes.size()), 0,
           reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }

 private:
  static sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
  }

  SOCKET socket_;
};

std::uint16_t FreePort() {
  return RawSocket().bind();
}

// An endpoint whose handler reads each datagram, as the agent's does, and keeps what it read.
struct Listener {
  Listener() : endpoint(TheBackend().network.createUdpEndpoint([this] { onArrival(); })) {}

  std::uint16_t bind() {
    const std::uint16_t chosen = FreePort();
    return endpoint->bind(chosen) == BindResult::Bound ? chosen : 0;
  }

  void onArrival() {
    arrivals.push_back(endpoint->read());
    if (then) then();
  }

  bool waitFor(std::size_t count) {
    return PumpUntil([&] { return arrivals.size() >= count; });
  }

  std::unique_ptr<UdpEndpoint> endpoint;
  std::vector<Arrival> arrivals;
  std::function<void()> then;  // runs in the handler, after the read
};

bool Same(const Arrival& arrival, const std::string& bytes) {
  return arrival.error == 0 && arrival.bytes == bytes;
}

// The endpoint has read everything sent before: a last datagram arrives as the next one.
bool NothingMoreThan(Listener& listener, std::uint16_t port, std::size_t count) {
  RawSocket().sendTo(port, "last");
  return listener.waitFor(count + 1) && listener.arrivals.size() == count + 1 &&
         Same(listener.arrivals.back(), "last");
}

bool InOrder(const std::vector<Arrival>& arrivals, int count) {
  bool inOrder = static_cast<int>(arrivals.size()) >= count;
  for (int i = 0; inOrder && i < count; ++i) inOrder = Same(arrivals[i], std::to_string(i));
  return inOrder;
}

int FailWithConnectionReset(SOCKET, char*, int) {
  WSASetLastError(WSAECONNRESET);
  return SOCKET_ERROR;
}

int FailWithNetworkReset(SOCKET, char*, int) {
  WSASetLastError(WSAENETRESET);
  return SOCKET_ERROR;
}

}  // namespace

SELFCHECK_TEST(reads_an_empty_datagram) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  RawSocket().sendTo(port, "");
  CHECK(listener.waitFor(1));
  CHECK(listener.arrivals.size() == 1 && Same(listener.arrivals[0], ""));
}

SELFCHECK_TEST(reads_the_largest_datagram_whole) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  std::string largest(kLargestDatagram, '\0');
  for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<char>(i % 251);
  RawSocket().sendTo(port, largest);
  CHECK(listener.waitFor(1));
  CHECK(listener.arrivals.size() == 1 && Same(listener.arrivals[0], largest));
}

SELFCHECK_TEST(raises_one_event_per_datagram_of_a_burst_in_order) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  RawSocket sender;
  for (int i = 0; i < 1000; ++i) sender.sendTo(port, std::to_string(i));
  CHECK(listener.waitFor(1000));
  CHECK(InOrder(listener.arrivals, 1000));
  CHECK(NothingMoreThan(listener, port, 1000));
}

SELFCHECK_TEST(a_paused_endpoint_raises_nothing_and_loses_nothing) {
  Listener paused;
  Listener other;
  const std::uint16_t pausedPort = paused.bind();
  const std::uint16_t otherPort = other.bind();
  paused.endpoint->setPaused(true);
  RawSocket sender;
  for (int i = 0; i < 50; ++i) sender.sendTo(pausedPort, std::to_string(i));
  // Sent after the others, this one's arrival tells that theirs have been seen too.
  sender.sendTo(otherPort, "after");
  CHECK(other.waitFor(1));
  CHECK(paused.arrivals.empty());
  paused.endpoint->setPaused(false);
  CHECK(paused.waitFor(50));
  CHECK(InOrder(paused.arrivals, 50));
  CHECK(NothingMoreThan(paused, pausedPort, 50));
}

// As the agent does while a page loads: it pauses in the handler and resumes later.
SELFCHECK_TEST(pausing_in_the_handler_holds_later_datagrams_back) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  bool paused = false;
  bool raisedWhilePaused = false;
  listener.then = [&] {
    raisedWhilePaused = raisedWhilePaused || paused;
    paused = true;
    listener.endpoint->setPaused(true);
  };
  RawSocket sender;
  for (int i = 0; i < 20; ++i) sender.sendTo(port, std::to_string(i));
  for (std::size_t handled = 1; handled <= 20; ++handled) {
    CHECK(listener.waitFor(handled));
    paused = false;
    listener.endpoint->setPaused(false);
  }
  CHECK(!raisedWhilePaused);
  CHECK(InOrder(listener.arrivals, 20));
  CHECK(NothingMoreThan(listener, port, 20));
}

// As the agent does when a page needs no wait: the pause ends before the handler does.
SELFCHECK_TEST(a_pause_within_the_handler_raises_no_extra_event) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  listener.then = [&] {
    listener.endpoint->setPaused(true);
    listener.endpoint->setPaused(false);
  };
  RawSocket sender;
  for (int i = 0; i < 20; ++i) sender.sendTo(port, std::to_string(i));
  CHECK(listener.waitFor(20));
  CHECK(InOrder(listener.arrivals, 20));
  CHECK(NothingMoreThan(listener, port, 20));
}

SELFCHECK_TEST(an_endpoint_may_be_destroyed_by_its_own_handler) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  listener.then = [&] { listener.endpoint.reset(); };
  RawSocket sender;
  for (int i = 0; i < 3; ++i) sender.sendTo(port, std::to_string(i));
  CHECK(listener.waitFor(1));
  Listener other;
  const std::uint16_t otherPort = other.bind();
  sender.sendTo(otherPort, "after");
  CHECK(other.waitFor(1));
  CHECK(listener.arrivals.size() == 1 && !listener.endpoint);
}

SELFCHECK_TEST(a_port_held_by_another_program_is_in_use) {
  RawSocket holder;
  const std::uint16_t port = holder.bind();
  auto endpoint = TheBackend().network.createUdpEndpoint([] {});
  CHECK(endpoint->bind(port) == BindResult::PortInUse);
}

SELFCHECK_TEST(sends_one_datagram_to_a_named_or_a_dotted_host) {
  Listener master;
  const std::uint16_t masterPort = master.bind();
  Listener agent;
  agent.bind();
  agent.endpoint->setRemotePort(masterPort);
  agent.endpoint->setRemoteHost("localhost");
  CHECK(agent.endpoint->send("07Call"));
  agent.endpoint->setRemoteHost("127.0.0.1");
  CHECK(agent.endpoint->send("08Call"));
  CHECK(master.waitFor(2));
  CHECK(master.arrivals.size() == 2 && Same(master.arrivals[0], "07Call") &&
        Same(master.arrivals[1], "08Call"));
}

SELFCHECK_TEST(cannot_send_unbound_or_to_an_unknown_host) {
  Listener agent;
  agent.endpoint->setRemoteHost("127.0.0.1");
  agent.endpoint->setRemotePort(FreePort());
  CHECK(!agent.endpoint->send("unbound"));
  agent.bind();
  agent.endpoint->setRemoteHost("no-such-host.invalid");
  CHECK(!agent.endpoint->send("unknown host"));
  agent.endpoint->setRemoteHost("");
  CHECK(!agent.endpoint->send("no host"));
}

// Wine never reports a refused datagram, so the refusal is injected where recvfrom reports it.
SELFCHECK_TEST(a_refused_datagram_is_read_as_connection_reset) {
  std::unique_ptr<Win32UdpEndpoint> endpoint;
  std::vector<Arrival> arrivals;
  endpoint = std::make_unique<Win32UdpEndpoint>(
      TheBackend().window, [&] { arrivals.push_back(endpoint->read()); }, &FailWithConnectionReset);
  const std::uint16_t port = FreePort();
  CHECK(endpoint->bind(port) == BindResult::Bound);
  RawSocket().sendTo(port, "raises the arrival event");
  CHECK(PumpUntil([&] { return !arrivals.empty(); }));
  CHECK(arrivals.size() == 1 && arrivals[0].error == platform::kConnectionReset &&
        arrivals[0].error == 10054 && arrivals[0].bytes.empty());
}

SELFCHECK_TEST(other_read_errors_keep_their_code) {
  Win32UdpEndpoint endpoint(
      TheBackend().window, [] {}, &FailWithNetworkReset);
  CHECK(endpoint.read().error == WSAENETRESET);
}

SELFCHECK_TEST(reading_with_nothing_pending_is_an_error_not_a_datagram) {
  Listener listener;
  listener.bind();
  const Arrival arrival = listener.endpoint->read();
  CHECK(arrival.error == WSAEWOULDBLOCK && arrival.bytes.empty());
}
