// What the Qt endpoint adds to the contract of both backends: a burst raised whole in one pass of
// the event loop, and refusals, which only Linux reports here.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "contract/Harness.h"
#include "platform/linux/QtScheduler.h"

namespace {

using harness::Listener;
using harness::Numbered;
using harness::PumpUntil;
using harness::ReadExactly;
using harness::UnusedPort;
using namespace std::chrono_literals;

using ::testing::ElementsAre;

// Bytes the kernel still holds for the IPv4 UDP socket bound to `port`, its error reports
// included: 0 once its owner has taken everything.
std::size_t HeldByKernel(std::uint16_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // the column names
  while (std::getline(table, line)) {
    unsigned localPort = 0;
    unsigned long held = 0;
    if (std::sscanf(line.c_str(), "%*d: %*x:%x %*x:%*x %*x %*x:%lx", &localPort, &held) == 2 &&
        localPort == port) {
      return held;
    }
  }
  throw std::runtime_error("no UDP socket on that port");
}

// What makes a page that a later one supersedes never reach the browser: the agent acts from a
// task that its first arrival posts, and every datagram that had come by then is raised before it.
TEST(PosixUdpEndpoint, RaisesABurstWholeBeforeATaskPostedByItsFirstArrival) {
  Listener agent;
  const std::uint16_t port = agent.bind();
  platform::QtScheduler scheduler;
  std::size_t seenByTheTask = 0;
  agent.then = [&] {
    if (agent.arrivals.size() == 1) {
      scheduler.runLater(0ms, [&] { seenByTheTask = agent.arrivals.size(); });
    }
  };
  harness::Send(port, Numbered(100));
  ASSERT_TRUE(PumpUntil([&] { return seenByTheTask > 0; }));
  EXPECT_EQ(seenByTheTask, 100u);
  EXPECT_TRUE(ReadExactly(agent, port, Numbered(100)));
}

// One datagram to 127.0.0.1 from a socket bound to `source`, a loopback address (host order).
void SendFrom(std::uint32_t source, std::uint16_t port, std::string_view text) {
  const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {htonl(source)}, {}};
  ::bind(sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
  address = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  sendto(sender, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address),
         sizeof address);
  close(sender);
}

// Without the event loop, which would read it: until the kernel holds something for the socket.
bool HoldsSomething(std::uint16_t port) {
  const auto limit = std::chrono::steady_clock::now() + 10s;
  for (; std::chrono::steady_clock::now() < limit; std::this_thread::sleep_for(1ms)) {
    if (HeldByKernel(port) > 0) return true;
  }
  return false;
}

// Bound, or never bound: a refusal is read once, in its place; also when it was still unread at
// the next call, which takes the error the kernel raised for it but leaves its report queued.
TEST(PosixUdpEndpoint, ReportsARefusalOnceInItsPlaceAmongDatagrams) {
  for (const auto& [bound, readFirst] : {std::pair{true, true}, {false, true}, {true, false}}) {
    SCOPED_TRACE(std::string(bound ? "bound" : "unbound") + (readFirst ? "" : ", unread"));
    Listener agent;
    const std::uint16_t port = bound ? agent.bind() : 0;
    agent.endpoint->setRemoteHost("localhost");
    const std::uint16_t refusing = UnusedPort();
    agent.endpoint->setRemotePort(refusing);
    const auto taken = [&] { return !bound || HeldByKernel(port) == 0; };
    if (bound) harness::Send(port, {"before"});
    // Had the kernel still held it, it would report the refusal first.
    ASSERT_TRUE(PumpUntil(taken));
    ASSERT_EQ(agent.endpoint->send("07Call").result, platform::SendResult::Sent);
    Listener master;
    const std::uint16_t masterPort = master.bind();
    // Loopback delivers in order: once this has come through, so has the refusal.
    if (readFirst) harness::Send(masterPort, {"witness"});
    ASSERT_TRUE(readFirst ? master.waitFor(1) : HoldsSomething(port));
    agent.endpoint->setRemotePort(masterPort);
    ASSERT_EQ(agent.endpoint->send("07Call").result, platform::SendResult::Sent);
    ASSERT_TRUE(master.waitFor(readFirst ? 2 : 1));
    EXPECT_EQ(master.payloads().back(), "07Call");
    ASSERT_TRUE(PumpUntil(taken));
    // 127.0.0.2 is another computer than 127.0.0.1 to the agent's sender check.
    if (bound) SendFrom(0x7F000002, port, "after");
    // The refusal names the refused destination, which no forged refusal of another datagram
    // can, as each datagram names its sender.
    if (!bound) {
      ASSERT_TRUE(agent.waitFor(1));
      EXPECT_THAT(agent.payloads(), ElementsAre("(refused)"));
    } else {
      EXPECT_TRUE(ReadExactly(agent, port, {"before", "(refused)", "after"}));
      EXPECT_EQ(agent.arrivals.at(2).peer.value_or(platform::Peer{}).address, 0x7F000002u);
    }
    EXPECT_EQ(agent.arrivals.at(bound ? 1 : 0).peer, (platform::Peer{0x7F000001, refusing}));
  }
}

}  // namespace
