// What the behaviour relies on of either backend's UDP endpoint, on real sockets and the
// backend's real event loop.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "contract/Harness.h"

using harness::Listener;
using harness::Numbered;
using harness::PumpUntil;
using harness::ReadExactly;
using harness::Send;
using platform::Arrival;
using platform::BindResult;
using platform::ReadResult;
using platform::SendResult;
using namespace std::chrono_literals;

// Datagrams of any bytes and size, then a burst: one event each.
TEST(UdpEndpointContract, ReadsEachDatagramWholeAndInOrderWithOneEventEach) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  std::string everyByte;
  for (int value = 0; value < 256; ++value) everyByte.push_back(static_cast<char>(value));
  std::string largest(65507, '\0');  // the largest payload over IPv4
  for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<char>(i % 251);
  std::vector<std::string> sent = {"", largest, everyByte, "\xff\xfe\xc3(\xa0\xe3\x81"};
  for (std::string& number : Numbered(1000)) sent.push_back(std::move(number));
  Send(port, sent);
  EXPECT_TRUE(ReadExactly(listener, port, sent));
}

// As a message box does: what comes meanwhile waits, and is raised afterwards, in order. A handler
// may destroy its endpoint.
TEST(UdpEndpointContract, AHandlerThatRunsTheEventLoopIsNotEnteredAgainAndMayEndTheEndpoint) {
  Listener listener;
  const std::uint16_t port = listener.bind();
  int depth = 0;
  int deepest = 0;
  listener.then = [&] {
    deepest = std::max(deepest, ++depth);
    if (listener.arrivals.size() == 1) Send(port, {"meanwhile"});
    PumpUntil([] { return false; }, 20ms);
    --depth;
  };
  Send(port, Numbered(3));
  EXPECT_TRUE(listener.waitFor(4));
  EXPECT_EQ(listener.payloads(), (std::vector<std::string>{"0", "1", "2", "meanwhile"}));
  EXPECT_EQ(deepest, 1);
  listener.then = [&] { listener.endpoint.reset(); };
  Send(port, Numbered(3));
  EXPECT_TRUE(listener.waitFor(5));
  Listener witness;
  Send(witness.bind(), {"witness"});
  EXPECT_TRUE(witness.waitFor(1));
  EXPECT_TRUE(listener.arrivals.size() == 5 && !listener.endpoint);
}

// Bound, never bound, or refused its port, which another program holds: the call of the person
// at this PC must reach the master all the same, and fails at once, saying why, for a host that
// cannot be found and for a broadcast address (never sent: the socket may not broadcast). A read
// of nothing fails.
TEST(UdpEndpointContract, SendsOneDatagramToANamedOrDottedHost) {
  Listener master;
  const std::uint16_t masterPort = master.bind();
  Listener holder;
  const std::uint16_t taken = holder.bind();
  const Arrival nothing = holder.endpoint->read();
  EXPECT_TRUE(nothing.result == ReadResult::Failed && nothing.bytes.empty());
  const std::function<void(platform::UdpEndpoint&)> states[] = {
      [](platform::UdpEndpoint& agent) { agent.bind(harness::UnusedPort()); },
      [](platform::UdpEndpoint&) {},
      [&](platform::UdpEndpoint& agent) { EXPECT_EQ(agent.bind(taken), BindResult::PortInUse); },
  };
  std::vector<std::string> sent;
  for (const auto& state : states) {
    Listener agent;
    state(*agent.endpoint);
    agent.endpoint->setRemotePort(masterPort);
    for (const char* host : {"localhost", "127.0.0.1"}) {
      agent.endpoint->setRemoteHost(host);
      sent.push_back(std::to_string(sent.size()) + " to " + host);
      const platform::Sending sending = agent.endpoint->send(sent.back());
      EXPECT_EQ(sending.result, SendResult::Sent);
      EXPECT_EQ(sending.to, (platform::Peer{0x7F000001, masterPort})) << host;
    }
    const std::pair<const char*, SendResult> failures[] = {
        {"no-such-host.invalid", SendResult::NoSuchHost},
        {"", SendResult::NoSuchHost},
        {"255.255.255.255", SendResult::NotPermitted},
    };
    for (const auto& [host, result] : failures) {
      agent.endpoint->setRemoteHost(host);
      EXPECT_EQ(agent.endpoint->send("07Call").result, result) << host;
    }
  }
  EXPECT_TRUE(master.waitFor(sent.size()));
  EXPECT_EQ(master.payloads(), sent);
}

// The console's port: each call whole, on the UI thread; listening again moves to the new port
// only once it is bound, and the old one is let go then.
TEST(DatagramPortContract, ReceivesOnTheUiThreadAndMovesOnlyToAPortItCanBind) {
  std::vector<platform::ReceivedDatagram> heard;
  const auto listen = [&heard](platform::DatagramPort& on) {
    const std::uint16_t port = harness::UnusedPort();
    return on.listen(port, [&](const platform::ReceivedDatagram& d) { heard.push_back(d); }).empty()
               ? port
               : 0;
  };
  const auto receiver = harness::NewDatagramPort(), holder = harness::NewDatagramPort();
  const auto hears = [&](std::uint16_t port, const std::string& text) {
    return holder->send("127.0.0.1", port, text).empty() &&
           PumpUntil([&] { return !heard.empty() && heard.back().bytes == text; });
  };
  const std::uint16_t first = listen(*receiver), taken = listen(*holder);
  ASSERT_TRUE(first && taken);
  EXPECT_TRUE(hears(first, std::string(60000, 'x')));
  EXPECT_EQ(heard.back().address, 0x7F000001u);
  EXPECT_NE(receiver->listen(taken, nullptr), "");
  EXPECT_TRUE(hears(first, "08Call"));
  const std::uint16_t second = listen(*receiver);
  EXPECT_TRUE(second && hears(second, "09Call"));
  EXPECT_EQ(harness::NewDatagramPort()->listen(first, nullptr), "");
}

// The sender check's lookups: answered later, from the event loop, with every IPv4 address.
TEST(ResolverContract, AnswersFromTheEventLoopWithTheNamesIPv4Addresses) {
  std::map<std::string, std::vector<std::uint32_t>> answers;
  for (const std::string name : {"127.0.0.1", "localhost"}) {
    harness::TheResolver().lookUp(
        name, [&, name](std::vector<std::uint32_t> found) { answers[name] = std::move(found); });
  }
  EXPECT_TRUE(answers.empty());
  ASSERT_TRUE(PumpUntil([&] { return answers.size() == 2; }));
  EXPECT_EQ(answers["127.0.0.1"], std::vector<std::uint32_t>{0x7F000001});
  EXPECT_NE(std::ranges::find(answers["localhost"], 0x7F000001u), answers["localhost"].end());
}
