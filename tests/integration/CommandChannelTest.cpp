// The agent's main form on the Qt endpoint and scheduler, fed by real datagrams; the desktop and
// the browser are the unit tests' recording fakes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "child/Program.h"
#include "fake/FakePlatform.h"
#include "integration/Loopback.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtUdpEndpoint.h"
#include "unit/ScratchDir.h"

namespace {

using child::Form1;
using loopback::PumpUntil;
using loopback::UnusedPort;
using ::testing::ElementsAre;

// The fakes, but for real sockets and timers; with a handle on the endpoint made last, to send
// the call message.
class LoopbackPlatform final : public platform::Platform, public platform::Network {
 public:
  platform::Desktop& desktop() override { return fake.desktop(); }
  platform::InstanceGuard& instanceGuard() override { return fake.instanceGuard(); }
  const platform::CodePage& codePage() const override { return fake.codePage(); }
  platform::Network& network() override { return *this; }
  platform::BrowserFactory& browsers() override { return fake.browsers(); }
  platform::Scheduler& scheduler() override { return scheduler_; }
  platform::Tray& tray() override { return fake.tray(); }
  platform::Registry& registry() override { return fake.registry(); }
  platform::Programs& programs() override { return fake.programs(); }
  platform::Files& files() override { return fake.files(); }
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override {
    auto endpoint = platform::QtNetwork().createUdpEndpoint(std::move(onArrival));
    endpoint_ = endpoint.get();
    return endpoint;
  }
  platform::UdpEndpoint& endpoint() { return *endpoint_; }

  fake::FakePlatform fake;

 private:
  platform::QtScheduler scheduler_;
  platform::UdpEndpoint* endpoint_ = nullptr;
};

class CommandChannelTest : public ::testing::Test {
 protected:
  CommandChannelTest() {
    program.settingsFile =
        dir.Write("Velostrander_Child.ini", "MasterPortx=" + std::to_string(UnusedPort()) +
                                                "\r\nMyHostPortx=" + std::to_string(agentPort) +
                                                "\r\nMasterCompx=127.0.0.1\r\nMyCompNumxx=07\r\n");
    form.Load();
  }

  void Send(const std::vector<std::string>& texts) { harness::Send(agentPort, texts); }
  const std::vector<std::string>& Navigated() { return platform.fake.browser().navigated; }
  bool WaitForPages(std::size_t count) {
    return PumpUntil([&] { return Navigated().size() >= count; });
  }
  // The call message goes to a port where nothing listens.
  void CallNobody() {
    platform.endpoint().setRemotePort(UnusedPort());
    ASSERT_TRUE(platform.endpoint().send("07Call"));
  }
  std::vector<std::string>& Log() { return fake.log; }

  const std::uint16_t agentPort = UnusedPort();
  ScratchDir dir;
  LoopbackPlatform platform;
  fake::FakePlatform& fake = platform.fake;
  child::Program program{platform};
  Form1& form = program.form1;
};

TEST_F(CommandChannelTest, EveryDatagramOfABurstReachesTheBrowserWholeAndInOrder) {
  ASSERT_EQ(form.state(), Form1::State::Running);
  std::string binary = "http://host/";
  for (int value = 0; value < 256; ++value) binary.push_back(static_cast<char>(value));
  std::vector<std::string> sent = {"", std::string(65507, 'u'), binary,
                                   "http://host/\xff\xfe\xc3("};
  for (int number = 0; number < 1000; ++number)
    sent.push_back("http://host/" + std::to_string(number));
  Send(sent);
  ASSERT_TRUE(WaitForPages(sent.size())) << Navigated().size() << " handled";
  EXPECT_EQ(Navigated(), sent);
}

// Each page keeps the endpoint paused while the browser reports itself busy.
TEST_F(CommandChannelTest, DatagramsWaitForThePageBeforeThemAndAreNotLost) {
  fake.browser().pagePolls = 3;
  Log().clear();
  Send({"http://host/1", "Command:FullScreen", "http://host/2", "Command:VisibleFalse",
        "http://host/3", "Command:PartScreen"});
  ASSERT_TRUE(PumpUntil([&] { return std::ranges::count(Log(), "browser menubar false") == 6; }));
  std::erase(Log(), "browser menubar false");
  EXPECT_THAT(Log(), ElementsAre("browser navigate http://host/1", "browser visible true",
                                 "browser fullscreen true", "browser navigate http://host/2",
                                 "browser visible true", "browser visible false",
                                 "browser navigate http://host/3", "browser visible true",
                                 "browser fullscreen false"));
}

TEST_F(CommandChannelTest, ARefusedCallShowsThatTheMasterIsNotFound) {
  CallNobody();
  ASSERT_TRUE(PumpUntil([&] { return !fake.messages.empty(); }));
  EXPECT_EQ(fake.messages[0].second, "Velostrander_Masterが見つかりません");
  Send({"http://host/after"});
  ASSERT_TRUE(WaitForPages(1));
  EXPECT_THAT(Navigated(), ElementsAre("http://host/after"));
  EXPECT_EQ(fake.messages.size(), 1u);
}

TEST_F(CommandChannelTest, TheSystemMayCloseTheFormWhileTheRefusalIsShown) {
  fake.whileMessageOpen = [&] { fake.close("Form1"); };
  CallNobody();
  ASSERT_TRUE(PumpUntil([&] { return !form.loaded(); }));
  EXPECT_EQ(form.state(), Form1::State::Ending);
  EXPECT_EQ(Log().back(), "unload Form1");
}

}  // namespace
