// The agent's main form on the Qt endpoint and scheduler, told by the kernel that its call was
// refused; the desktop and the browser are the unit tests' recording fakes.
#include <gtest/gtest.h>

#include <string>

#include "child/Program.h"
#include "contract/Harness.h"
#include "fake/FakePlatform.h"
#include "platform/linux/PosixUdpEndpoint.h"
#include "platform/linux/QtScheduler.h"
#include "unit/ScratchDir.h"

namespace {

using child::Form1;
using harness::PumpUntil;
using harness::UnusedPort;

// The fakes, but for real sockets and timers; with a handle on the endpoint made last, to send
// the call message.
class LoopbackPlatform final : public fake::FakePlatform {
 public:
  platform::Scheduler& scheduler() override { return scheduler_; }
  platform::UdpEndpoint& qtEndpoint() { return *qtEndpoint_; }

 private:
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override {
    auto endpoint = platform::PosixNetwork().createUdpEndpoint(std::move(onArrival));
    qtEndpoint_ = endpoint.get();
    return endpoint;
  }

  platform::QtScheduler scheduler_;
  platform::UdpEndpoint* qtEndpoint_ = nullptr;
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

  const std::uint16_t agentPort = UnusedPort();
  ScratchDir dir;
  LoopbackPlatform platform;
  child::Program program{platform};
  Form1& form = program.form1;
};

TEST_F(CommandChannelTest, ARefusedCallIsShownAndTheSystemMayCloseTheFormMeanwhile) {
  platform.whileMessageOpen = [&] { platform.close("Form1"); };
  // The call message goes to a port where nothing listens.
  platform.qtEndpoint().setRemotePort(UnusedPort());
  ASSERT_EQ(platform.qtEndpoint().send("07Call"), platform::SendResult::Sent);
  ASSERT_TRUE(PumpUntil([&] { return !form.loaded(); }));
  EXPECT_EQ(platform.messages.at(0).second, "Velostrander_Masterが見つかりません");
  EXPECT_EQ(form.state(), Form1::State::Ending);
  EXPECT_EQ(platform.log.back(), "unload Form1");
}

}  // namespace
