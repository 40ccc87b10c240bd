#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "integration/Loopback.h"
#include "platform/qt/QtNetwork.h"

namespace {

using loopback::Peer;
using loopback::UnusedPort;
using loopback::WaitUntil;
using platform::Arrival;
using platform::BindResult;

// An endpoint that reads each datagram in its arrival event, as the agent does.
class Receiver {
 public:
  Receiver() : port(UnusedPort()) {
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

  std::vector<Arrival> arrivals;
  std::unique_ptr<platform::UdpEndpoint> endpoint =
      platform::QtNetwork().createUdpEndpoint([this] { arrivals.push_back(endpoint->read()); });
  const std::uint16_t port;
};

std::string EveryByteValue() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  return bytes;
}

std::string Numbered(int number) {
  return "datagram " + std::to_string(number);
}

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
