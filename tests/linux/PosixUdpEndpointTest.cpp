// What the Qt endpoint adds to the contract of both backends: bursts that outgrow the kernel's
// buffer, and refusals, which only Linux reports here.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "contract/Harness.h"
#include "platform/linux/PosixUdpEndpoint.h"

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

// net.core.rmem_max on stock Debian, all an ordinary user's socket gets: the kernel then holds a
// few hundred small datagrams at most.
constexpr int kOrdinaryUsersReceiveBuffer = 212992;
constexpr int kBurst = 1000;

std::unique_ptr<platform::UdpEndpoint> OrdinaryUsersEndpoint(std::function<void()> onArrival) {
  return std::make_unique<platform::PosixUdpEndpoint>(std::move(onArrival),
                                                      kOrdinaryUsersReceiveBuffer);
}

// Polls, as the kernel tells no one when a socket's owner has read it.
bool TakenFromKernel(std::uint16_t port) {
  const auto limit = std::chrono::steady_clock::now() + 5s;
  while (HeldByKernel(port) != 0) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(100us);
  }
  return true;
}

// The master console's burst, from a thread as from another program: back to back in runs the
// kernel can hold whole, each sent once the endpoint has taken the one before. On a busy
// machine the agent's thread may wait its turn for milliseconds, and no endpoint takes what the
// kernel never kept: strictly back to back, even a bare recv loop loses some here.
class Burst {
 public:
  explicit Burst(std::uint16_t port) : thread_([this, port] { Send(port); }) {}
  bool taken() const { return taken_; }

 private:
  static constexpr int kRun = 100;

  void Send(std::uint16_t port) {
    const int master = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in agent{};
    agent.sin_family = AF_INET;
    agent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    agent.sin_port = htons(port);
    bool taken = true;
    for (int number = 0; number < kBurst && taken; ++number) {
      const std::string text = std::to_string(number);
      sendto(master, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&agent),
             sizeof agent);
      taken = (number + 1) % kRun != 0 || TakenFromKernel(port);
    }
    close(master);
    taken_ = taken;
    // Wakes the test's event loop to look.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
  }

  std::atomic<bool> taken_ = false;
  std::jthread thread_;  // last: joined before the rest goes
};

// One datagram to 127.0.0.1 from a socket bound to `source`, a loopback address (host order).
// (Wine binds a socket asked for 127.0.0.2 to every address: from there it sends from 127.0.0.1.)
void SendFrom(std::uint32_t source, std::uint16_t port, std::string_view text) {
  const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {htonl(source)}, {}};
  ::bind(sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
  address = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  sendto(sender, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address),
         sizeof address);
  close(sender);
}

// Paused, as while a page loads for as long as the agent lets it; or handling each datagram
// slowly: either way the kernel's shallow buffer must not overflow.
TEST(PosixUdpEndpoint, KeepsABurstLongerThanTheKernelsBufferWithAnOrdinaryUsersBuffer) {
  for (const bool paused : {true, false}) {
    SCOPED_TRACE(paused ? "paused" : "slow");
    Listener agent(OrdinaryUsersEndpoint);
    const std::uint16_t port = agent.bind();
    agent.endpoint->setPaused(paused);
    if (!paused) agent.then = [] { std::this_thread::sleep_for(100us); };
    const Burst master(port);
    ASSERT_TRUE(PumpUntil([&] { return master.taken(); }));
    // Taken from the kernel well ahead of the handlers.
    EXPECT_LT(agent.arrivals.size(), static_cast<std::size_t>(kBurst));
    agent.endpoint->setPaused(false);
    EXPECT_TRUE(ReadExactly(agent, port, Numbered(kBurst))) << agent.arrivals.size();
  }
}

// Bound and paused, bound, or never bound: a refusal is read once, in its place, and holds no
// call back while it waits to be read.
TEST(PosixUdpEndpoint, ReportsARefusalOnceInItsPlaceAmongDatagrams) {
  for (const bool bound : {true, false}) {
    for (const bool paused : {true, false}) {
      if (!bound && paused) continue;
      SCOPED_TRACE(std::string(bound ? "bound" : "unbound") + (paused ? ", paused" : ""));
      Listener agent(OrdinaryUsersEndpoint);
      const std::uint16_t port = bound ? agent.bind() : 0;
      agent.endpoint->setPaused(paused);
      agent.endpoint->setRemoteHost("localhost");
      const std::uint16_t refusing = UnusedPort();
      agent.endpoint->setRemotePort(refusing);
      const auto taken = [&] { return !bound || HeldByKernel(port) == 0; };
      if (bound) harness::Send(port, {"before"});
      // Had the kernel still held it, it would report the refusal first.
      ASSERT_TRUE(PumpUntil(taken));
      ASSERT_EQ(agent.endpoint->send("07Call").result, platform::SendResult::Sent);
      // Loopback delivers in order: once this has come through, so has the refusal.
      Listener master;
      const std::uint16_t masterPort = master.bind();
      harness::Send(masterPort, {"witness"});
      ASSERT_TRUE(master.waitFor(1));
      agent.endpoint->setRemotePort(masterPort);
      ASSERT_EQ(agent.endpoint->send("07Call").result, platform::SendResult::Sent);
      ASSERT_TRUE(master.waitFor(2));
      EXPECT_THAT(master.payloads(), ElementsAre("witness", "07Call"));
      ASSERT_TRUE(PumpUntil(taken));
      // 127.0.0.2 is another computer than 127.0.0.1 to the agent's sender check.
      if (bound) SendFrom(0x7F000002, port, "after");
      agent.endpoint->setPaused(false);
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
}

}  // namespace
