#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/Module1.h"
#include "child/Program.h"
#include "fake/FakePlatform.h"
#include "unit/ScratchDir.h"

namespace {

using ::testing::HasSubstr;

struct Agent {
  explicit Agent(const char* settings) {
    program.settingsFile = dir.path() / "Velostrander_Child.ini";
    if (settings) dir.Write("Velostrander_Child.ini", settings);
    program.form1.Load();
    platform.log.clear();
  }
  ScratchDir dir;
  fake::FakePlatform platform;
  child::Program program{platform};
};

TEST(Form2Test, EachPressSendsTheNumberAndCallToTheMaster) {
  Agent agent("MasterPortx=5000\r\nMyHostPortx=5001\r\nMasterCompx=pc\r\nMyCompNumxx=07\r\n");
  for (int press = 0; press < 5; ++press) agent.platform.click("Form2", "Command1");
  std::vector<std::string> expected;
  for (int press = 0; press < 5; ++press) {
    expected.insert(expected.end(), {"remote host pc", "remote port 5000", "send 07Call"});
  }
  EXPECT_EQ(agent.platform.log, expected);
}

// The settings could not be read (no file), the port is none, or the master's computer cannot
// be found: the person at this PC learns why, and the agent runs on.
TEST(Form2Test, ACallThatCannotBeMadeSaysWhy) {
  const std::pair<const char*, std::string> cases[] = {
      {nullptr, "設定ファイル「Velostrander_Child.ini」を読めなかったため"},
      {"MasterPortx=0\r\nMasterCompx=pc\r\nMyHostPortx=5001\r\n", "ポート番号 0 では"},
      {"MasterPortx=-5\r\nMasterCompx=pc\r\nMyHostPortx=5001\r\n", "ポート番号 -5 では"},
      {"MasterPortx=5000\r\nMasterCompx=pc.invalid\r\nMyHostPortx=5001\r\n",
       "コンピュータ「pc.invalid」が見つからない"},
  };
  for (const auto& [settings, why] : cases) {
    Agent agent(settings);
    agent.platform.messages.clear();
    agent.platform.click("Form2", "Command1");
    ASSERT_EQ(agent.platform.messages.size(), 1u) << why;
    EXPECT_EQ(agent.platform.messages[0].first, "Velostrander_Childからのメッセージ");
    EXPECT_THAT(agent.platform.messages[0].second, HasSubstr(why));
    EXPECT_EQ(std::count_if(agent.platform.log.begin(), agent.platform.log.end(),
                            [](const std::string& entry) { return entry.starts_with("send"); }),
              0);
    EXPECT_TRUE(agent.program.form1.loaded());
  }
}

// Any press on the body puts the panel on top; a left one drags it first.
TEST(Form2Test, APressOnTheBodyPutsThePanelOnTopAfterAnyDrag) {
  const std::pair<int, std::vector<std::string>> cases[] = {
      {1, {"drag Form2", "topmost Form2 true"}},
      {2, {"topmost Form2 true"}},
      {4, {"topmost Form2 true"}},
      {3, {"drag Form2", "topmost Form2 true"}},
  };
  for (const auto& [button, steps] : cases) {
    Agent agent(nullptr);
    agent.platform.mouseDown("Form2", button);
    EXPECT_EQ(agent.platform.log, steps) << button;
  }
}

TEST(Form2Test, SetTopmostTakesModesZeroAndOneOnly) {
  Agent agent(nullptr);
  platform::FormSpec form;
  form.name = "Form9";
  auto window = agent.platform.desktop().createWindow(form);
  agent.platform.log.clear();
  EXPECT_EQ(child::SetTopmost(*window, 1), 1);
  EXPECT_EQ(child::SetTopmost(*window, 0), 1);
  EXPECT_EQ(child::SetTopmost(*window, 2), 0);
  EXPECT_EQ(child::SetTopmost(*window, -1), 0);
  EXPECT_THAT(agent.platform.log,
              ::testing::ElementsAre("topmost Form9 true", "topmost Form9 false"));
}

}  // namespace
