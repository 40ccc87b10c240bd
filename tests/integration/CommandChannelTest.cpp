// The agent's main form on the Qt endpoint and scheduler, fed by real datagrams; the desktop and
// the browser are the unit tests' recording fakes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "child/Form1.h"
#include "child/Texts.h"
#include "fake/FakePlatform.h"
#include "integration/Loopback.h"
#include "platform/qt/QtNetwork.h"
#include "platform/qt/QtScheduler.h"
#include "unit/ScratchDir.h"

namespace {

using child::Form1;
using loopback::Peer;
using loopback::UnusedPort;
using loopback::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The Qt network, with a handle on the endpoint it made last, to send the call message.
class ObservedNetwork : public platform::Network {
 public:
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override {
    auto endpoint = network_.createUdpEndpoint(std::move(onArrival));
    endpoint_ = endpoint.get();
    return endpoint;
  }
  platform::UdpEndpoint& endpoint() { return *endpoint_; }

 private:
  platform::QtNetwork network_;
  platform::UdpEndpoint* endpoint_ = nullptr;
};

class CommandChannelTest : public ::testing::Test {
 protected:
  CommandChannelTest() { program.settingsFile = dir.path() / "Velostrander_Child.ini"; }

  void Start(std::uint16_t port = UnusedPort()) {
    agentPort = port;
    dir.Write("Velostrander_Child.ini", "MasterPortx=" + std::to_string(UnusedPort()) +
                                            "\r\nMyHostPortx=" + std::to_string(port) +
                                            "\r\nMasterCompx=127.0.0.1\r\nMyCompNumxx=07\r\n");
    form.Load();
  }

  void Send(const std::string& bytes) { master.sendTo(agentPort, bytes); }

  const std::vector<std::string>& Navigated() { return browsers.browser().navigated; }
  bool WaitForPages(std::size_t count) {
    return WaitUntil([&] { return Navigated().size() >= count; });
  }
  bool Logged(const std::string& entry) const {
    return std::find(desktop.log.begin(), desktop.log.end(), entry) != desktop.log.end();
  }

  ScratchDir dir;
  fake::FakeDesktop desktop;
  fake::FakeInstanceGuard instance;
  fake::Utf8CodePage codePage;
  ObservedNetwork network;
  fake::FakeBrowserFactory browsers{desktop.log};
  platform::QtScheduler scheduler;
  child::Program program{
      child::AgentPlatform{desktop, instance, codePage, network, browsers, scheduler}};
  Form1 form{program};
  Peer master;
  std::uint16_t agentPort = 0;
};

TEST_F(CommandChannelTest, AnyBytesReachTheBrowserWholeAndInOrder) {
  Start();
  ASSERT_EQ(form.state(), Form1::State::Running);
  std::string binary = "http://host/";
  for (int value = 0; value < 256; ++value) binary.push_back(static_cast<char>(value));
  const std::vector<std::string> sent = {"", std::string(65507, 'u'), binary,
                                         "http://host/\xff\xfe\xc3("};
  for (const auto& bytes : sent) Send(bytes);
  ASSERT_TRUE(WaitForPages(sent.size()));
  EXPECT_EQ(Navigated(), sent);
}

TEST_F(CommandChannelTest, EveryDatagramOfABurstIsHandledInOrder) {
  Start();
  std::vector<std::string> sent;
  for (int number = 0; number < 1000; ++number) {
    sent.push_back("http://host/page" + std::to_string(number));
  }
  for (const auto& bytes : sent) Send(bytes);
  ASSERT_TRUE(WaitForPages(sent.size())) << Navigated().size() << " handled";
  EXPECT_EQ(Navigated(), sent);
}

// Each page keeps the endpoint paused while the browser reports itself busy.
TEST_F(CommandChannelTest, DatagramsWaitForThePageBeforeThemAndAreNotLost) {
  browsers.busyPollsPerPage = 3;
  Start();
  desktop.log.clear();
  for (const char* bytes : {"http://host/1", "Command:FullScreen", "http://host/2",
                            "Command:VisibleFalse", "http://host/3", "Command:PartScreen"}) {
    Send(bytes);
  }
  ASSERT_TRUE(WaitUntil([&] { return Logged("browser fullscreen false"); }));
  std::vector<std::string> changes;
  std::copy_if(desktop.log.begin(), desktop.log.end(), std::back_inserter(changes),
               [](const std::string& entry) { return entry.find("menubar") == std::string::npos; });
  EXPECT_THAT(changes, ElementsAre("browser navigate http://host/1", "browser visible true",
                                   "browser fullscreen true", "browser navigate http://host/2",
                                   "browser visible true", "browser visible false",
                                   "browser navigate http://host/3", "browser visible true",
                                   "browser fullscreen false"));
}

TEST_F(CommandChannelTest, ARefusedCallShowsThatTheMasterIsNotFound) {
  Start();
  auto& endpoint = network.endpoint();
  endpoint.setRemotePort(UnusedPort());
  ASSERT_TRUE(endpoint.send("07Call"));
  ASSERT_TRUE(WaitUntil([&] { return !desktop.messages.empty(); }));
  EXPECT_EQ(desktop.messages[0].second, child::kMasterNotFound);

  Send("http://host/after");
  ASSERT_TRUE(WaitForPages(1));
  EXPECT_THAT(Navigated(), ElementsAre("http://host/after"));
  EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(CommandChannelTest, TheSystemMayCloseTheFormWhileTheRefusalIsShown) {
  Start();
  desktop.whileMessageOpen = [&] { desktop.close("Form1"); };
  auto& endpoint = network.endpoint();
  endpoint.setRemotePort(UnusedPort());
  ASSERT_TRUE(endpoint.send("07Call"));
  ASSERT_TRUE(WaitUntil([&] { return !form.loaded(); }));
  EXPECT_EQ(form.state(), Form1::State::Ending);
  EXPECT_TRUE(Logged("browser released"));
}

TEST_F(CommandChannelTest, APortInUseIsNamedAndTheAgentRunsOn) {
  const std::uint16_t port = UnusedPort();
  const Peer holder(port);
  ASSERT_TRUE(holder.bound());
  Start(port);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_THAT(desktop.messages[0].second, HasSubstr("UDPポート " + std::to_string(port)));
  EXPECT_THAT(desktop.messages[0].second, HasSubstr("ほかのプログラムが使用しています"));
  EXPECT_EQ(form.state(), Form1::State::Running);
  EXPECT_EQ(browsers.created, 1);
}

}  // namespace
