#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "integration/Loopback.h"
#include "platform/qt/QtNetwork.h"

namespace {

using loopback::HeldByKernel;
using loopback::Peer;
using loopback::RunFor;
using loopback::UnusedPort;
using loopback::WaitUntil;
using platform::Arrival;
using platform::BindResult;
using namespace std::chrono_literals;

// net.core.rmem_max on stock Debian, all an ordinary user's socket gets: the kernel then holds a
// few hundred small datagrams at most.
constexpr int kOrdinaryUsersReceiveBuffer = 212992;
constexpr int kBurst = 1000;

// An endpoint that reads each datagram in its arrival event, as the agent does.
class Receiver {
 public:
  explicit Receiver(std::optional<int> receiveBufferLimit = std::nullopt)
      : endpoint(
            std::make_unique<platform::QtUdpEndpoint>([this] { Handle(); }, receiveBufferLimit)),
        port(UnusedPort()) {
    if (endpoint->bind(port) != BindResult::Bound) throw std::runtime_error("cannot bind");
  }

  bool WaitFor(std::size_t count) {
    return WaitUntil([&] { return arrivals.size() >= count; });
  }
  std::vector<std::string> Payloads() const {
    std::vector<std::string> payloads;
    for (const Arrival& arrival : arrivals) payloads.push_back(arrival.bytes);
    return payloads;
  }

  // Each datagram as its payload, or its error as "error N".
  std::vector<std::string> Described() const {
    std::vector<std::string> described;
    for (const Arrival& arrival : arrivals) {
      described.push_back(arrival.error ? "error " + std::to_string(arrival.error) : arrival.bytes);
    }
    return described;
  }

  std::vector<Arrival> arrivals;
  std::chrono::microseconds handlingTime{0};
  std::unique_ptr<platform::UdpEndpoint> endpoint;
  const std::uint16_t port;

 private:
  void Handle() {
    arrivals.push_back(endpoint->read());
    if (handlingTime > 0us) std::this_thread::sleep_for(handlingTime);
  }
};

std::string EveryByteValue() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  return bytes;
}

std::string Numbered(int number) {
  return "datagram " + std::to_string(number);
}

std::vector<std::string> NumberedUpTo(int count) {
  std::vector<std::string> numbered;
  for (int number = 0; number < count; ++number) numbered.push_back(Numbered(number));
  return numbered;
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
    const Peer master;
    for (int number = 0; number < kBurst; ++number) {
      master.sendTo(port, Numbered(number));
      if ((number + 1) % kRun == 0 && !TakenFromKernel(port)) return;
    }
    taken_ = true;
    // Wakes the test's event loop to look.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
  }

  std::atomic<bool> taken_ = false;
  std::jthread thread_;  // last: joined before the rest goes
};

TEST(QtUdpEndpoint, ReadsEachDatagramWholeAndInOrder) {
  Receiver receiver;
  const std::vector<std::string> sent = {"", std::string(65507, 'x'), EveryByteValue(),
                                         "\xff\xfe\xc3(\xa0\xe3\x81"};
  Peer master;
  for (const auto& bytes : sent) master.sendTo(receiver.port, bytes);
  ASSERT_TRUE(receiver.WaitFor(sent.size()));
  EXPECT_EQ(receiver.Payloads(), sent);
  for (const Arrival& arrival : receiver.arrivals) EXPECT_EQ(arrival.error, 0);
}

TEST(QtUdpEndpoint, LosesNoneOfABurst) {
  Receiver receiver;
  std::vector<std::string> sent;
  for (int number = 0; number < 1000; ++number) sent.push_back(Numbered(number));
  Peer master;
  for (const auto& bytes : sent) master.sendTo(receiver.port, bytes);
  ASSERT_TRUE(receiver.WaitFor(sent.size())) << receiver.arrivals.size() << " arrived";
  EXPECT_EQ(receiver.Payloads(), sent);
}

TEST(QtUdpEndpoint, RaisesNoEventWhilePausedAndLosesNothing) {
  Receiver paused;
  Receiver witness;
  paused.endpoint->setPaused(true);
  Peer master;
  for (int number = 0; number < 10; ++number) master.sendTo(paused.port, Numbered(number));
  // Sent after the others: once it has been handled, the paused endpoint had its chance too.
  master.sendTo(witness.port, "witness");
  ASSERT_TRUE(witness.WaitFor(1));
  EXPECT_TRUE(paused.arrivals.empty());

  paused.endpoint->setPaused(false);
  ASSERT_TRUE(paused.WaitFor(10));
  EXPECT_EQ(paused.arrivals.size(), 10u);
  EXPECT_EQ(paused.arrivals.front().bytes, Numbered(0));
  EXPECT_EQ(paused.arrivals.back().bytes, Numbered(9));
}

// A page loads meanwhile, for as long as the agent lets it.
TEST(QtUdpEndpoint, KeepsABurstThatComesWhilePausedWithAnOrdinaryUsersBuffer) {
  Receiver agent(kOrdinaryUsersReceiveBuffer);
  agent.endpoint->setPaused(true);
  const Burst master(agent.port);
  RunFor(1s);
  EXPECT_TRUE(master.taken());
  EXPECT_TRUE(agent.arrivals.empty());

  agent.endpoint->setPaused(false);
  EXPECT_TRUE(agent.WaitFor(kBurst)) << agent.arrivals.size() << " arrived";
  EXPECT_EQ(agent.Payloads(), NumberedUpTo(kBurst));
}

TEST(QtUdpEndpoint, KeepsABurstWhileEachArrivalTakesAWhileWithAnOrdinaryUsersBuffer) {
  Receiver agent(kOrdinaryUsersReceiveBuffer);
  agent.handlingTime = 100us;
  const Burst master(agent.port);
  ASSERT_TRUE(WaitUntil([&] { return master.taken(); }));
  // Taken from the kernel well ahead of the handlers: read only as they go, the rest of a
  // longer burst would have to wait in the kernel, and overflow it.
  EXPECT_LT(agent.arrivals.size(), static_cast<std::size_t>(kBurst));
  EXPECT_TRUE(agent.WaitFor(kBurst)) << agent.arrivals.size() << " arrived";
  EXPECT_EQ(agent.Payloads(), NumberedUpTo(kBurst));
}

TEST(QtUdpEndpoint, ReportsARefusalOnceInItsPlaceAmongDatagrams) {
  Receiver agent(kOrdinaryUsersReceiveBuffer);
  Receiver witness;
  agent.endpoint->setPaused(true);
  agent.endpoint->setRemoteHost("127.0.0.1");
  agent.endpoint->setRemotePort(UnusedPort());
  const Peer master;
  const auto taken = [&] { return HeldByKernel(agent.port) == 0; };
  master.sendTo(agent.port, "before 1");
  master.sendTo(agent.port, "before 2");
  // Had the kernel still held them, it would report the refusal first.
  ASSERT_TRUE(WaitUntil(taken));
  ASSERT_TRUE(agent.endpoint->send("07Call"));
  // Loopback delivers in order: once this has come through, so has the refusal.
  master.sendTo(witness.port, "witness");
  ASSERT_TRUE(witness.WaitFor(1));
  ASSERT_TRUE(WaitUntil(taken));
  master.sendTo(agent.port, "after 1");
  master.sendTo(agent.port, "after 2");

  agent.endpoint->setPaused(false);
  ASSERT_TRUE(agent.WaitFor(5));
  master.sendTo(agent.port, "last");
  ASSERT_TRUE(agent.WaitFor(6));
  EXPECT_THAT(agent.Described(), ::testing::ElementsAre("before 1", "before 2", "error 10054",
                                                        "after 1", "after 2", "last"));
}

// As a message box does, unpaused.
TEST(QtUdpEndpoint, AHandlerThatRunsTheEventLoopIsNotEnteredAgain) {
  const std::uint16_t port = UnusedPort();
  int depth = 0;
  int deepest = 0;
  std::vector<std::string> payloads;
  platform::QtUdpEndpoint endpoint([&] {
    ++depth;
    deepest = std::max(deepest, depth);
    payloads.push_back(endpoint.read().bytes);
    RunFor(20ms);
    --depth;
  });
  ASSERT_EQ(endpoint.bind(port), BindResult::Bound);
  const Peer master;
  for (int number = 0; number < 3; ++number) master.sendTo(port, Numbered(number));
  ASSERT_TRUE(WaitUntil([&] { return payloads.size() >= 3; }));
  EXPECT_EQ(payloads, NumberedUpTo(3));
  EXPECT_EQ(deepest, 1);
}

TEST(QtUdpEndpoint, ARefusedDatagramIsReportedOnceAsConnectionReset) {
  Receiver agent;
  agent.endpoint->setRemoteHost("localhost");
  agent.endpoint->setRemotePort(UnusedPort());
  ASSERT_TRUE(agent.endpoint->send("07Call"));
  ASSERT_TRUE(agent.WaitFor(1));
  EXPECT_EQ(agent.arrivals[0].error, platform::kConnectionReset);
  Receiver witness;
  Peer master;
  master.sendTo(witness.port, "witness");
  ASSERT_TRUE(witness.WaitFor(1));
  EXPECT_EQ(agent.arrivals.size(), 1u);

  master.sendTo(agent.port, "after");
  ASSERT_TRUE(agent.WaitFor(2));
  ASSERT_EQ(agent.arrivals.size(), 2u);
  EXPECT_EQ(agent.arrivals[1].error, 0);
  EXPECT_EQ(agent.arrivals[1].bytes, "after");
}

TEST(QtUdpEndpoint, SendsWhileARefusalWaitsToBeRead) {
  Receiver agent;
  Receiver master;
  agent.endpoint->setPaused(true);
  agent.endpoint->setRemoteHost("127.0.0.1");
  agent.endpoint->setRemotePort(UnusedPort());
  ASSERT_TRUE(agent.endpoint->send("07Call"));
  // Loopback delivers in order: once this has come through, so has the refusal.
  Peer().sendTo(master.port, "witness");
  ASSERT_TRUE(master.WaitFor(1));

  agent.endpoint->setRemotePort(master.port);
  ASSERT_TRUE(agent.endpoint->send("07Call"));
  ASSERT_TRUE(master.WaitFor(2));
  EXPECT_EQ(master.arrivals[1].bytes, "07Call");
  agent.endpoint->setPaused(false);
  ASSERT_TRUE(agent.WaitFor(1));
  EXPECT_EQ(agent.arrivals[0].error, platform::kConnectionReset);
}

TEST(QtUdpEndpoint, SendsToADottedAddress) {
  Receiver agent;
  Receiver master;
  agent.endpoint->setRemoteHost("127.0.0.1");
  agent.endpoint->setRemotePort(master.port);
  ASSERT_TRUE(agent.endpoint->send("07Call"));
  ASSERT_TRUE(master.WaitFor(1));
  EXPECT_EQ(master.arrivals[0].bytes, "07Call");
}

TEST(QtUdpEndpoint, CannotSendToAnUnknownHostOrWhileUnbound) {
  Receiver agent;
  agent.endpoint->setRemoteHost("no-such-host.invalid");
  agent.endpoint->setRemotePort(UnusedPort());
  EXPECT_FALSE(agent.endpoint->send("07Call"));

  const auto unbound = platform::QtNetwork().createUdpEndpoint([] {});
  unbound->setRemoteHost("127.0.0.1");
  unbound->setRemotePort(UnusedPort());
  EXPECT_FALSE(unbound->send("07Call"));
}

TEST(QtUdpEndpoint, ATakenPortIsInUse) {
  const std::uint16_t port = UnusedPort();
  const Peer holder(port);
  ASSERT_TRUE(holder.bound());
  const auto endpoint = platform::QtNetwork().createUdpEndpoint([] {});
  EXPECT_EQ(endpoint->bind(port), BindResult::PortInUse);
}

TEST(QtUdpEndpoint, MayBeDestroyedFromItsOwnArrivalEvent) {
  const std::uint16_t port = UnusedPort();
  int events = 0;
  std::unique_ptr<platform::UdpEndpoint> endpoint;
  endpoint = platform::QtNetwork().createUdpEndpoint([&] {
    ++events;
    endpoint.reset();
  });
  ASSERT_EQ(endpoint->bind(port), BindResult::Bound);
  Receiver witness;
  Peer master;
  master.sendTo(port, "first");
  master.sendTo(port, "second");
  ASSERT_TRUE(WaitUntil([&] { return !endpoint; }));
  master.sendTo(witness.port, "witness");
  ASSERT_TRUE(witness.WaitFor(1));
  EXPECT_EQ(events, 1);
}

}  // namespace
