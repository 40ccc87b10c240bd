#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/Program.h"
#include "fake/FakePlatform.h"
#include "unit/ScratchDir.h"

namespace {

using child::Form1;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kSettings =
    "MasterPortx=5000\r\nMyHostPortx=5001\r\nMasterCompx=pc\r\nMyCompNumxx=07\r\n";
constexpr const char* kMessageTitle = "Velostrander_Childからのメッセージ";

// One agent started in a scratch folder; `settings` null: no settings file at all.
class Agent {
 public:
  explicit Agent(const char* settings = kSettings) {
    program.settingsFile = dir.path() / "Velostrander_Child.ini";
    if (settings) dir.Write("Velostrander_Child.ini", settings);
  }

  fake::WindowState& Window() { return platform.window("Form1"); }

  ScratchDir dir;
  fake::FakePlatform platform;
  child::Program program{platform};
  Form1& form = program.form1;
};

TEST(Form1Test, NormalStartRunsEveryStepInOrder) {
  Agent agent;
  agent.form.Load();
  EXPECT_THAT(
      agent.platform.log,
      ElementsAre("create Form1", "create Form2", "show Form2", "disable close Form1",
                  "caption Form1.Label1 コンピュータ番号:07", "bind 5001",
                  "tray add Form1 1 7 512 Velostrander_Child", "hide Form1", "hide Form1.Menu1",
                  "remote host pc", "browser created", "browser fullscreen false",
                  "browser toolbar false", "browser menubar false"));
  EXPECT_EQ(agent.form.state(), Form1::State::Running);
  EXPECT_TRUE(agent.platform.messages.empty());
}

TEST(Form1Test, TheLabelShowsTheNumberAsRead) {
  const std::pair<const char*, const char*> cases[] = {
      {"MyCompNumxx=07\r\n", "コンピュータ番号:07"},
      {"MyCompNumxx=7\r\n", "コンピュータ番号:7"},
      {"MasterCompx=pc\r\n", "コンピュータ番号:"},
  };
  for (const auto& [settings, label] : cases) {
    Agent agent(settings);
    agent.form.Load();
    EXPECT_EQ(agent.Window().captions["Label1"], label);
  }
}

TEST(Form1Test, ASecondInstanceWarnsAndEndsWithNothingElseRun) {
  Agent agent;
  agent.platform.otherInstance = true;
  agent.form.Load();
  EXPECT_THAT(agent.platform.log, ElementsAre("create Form1", "create Form2", "show Form2",
                                              "message 警告", "end program"));
  EXPECT_THAT(agent.platform.messageTexts(),
              ElementsAre("警告: すでにこのプログラムは起動しています"));
  EXPECT_EQ(agent.form.state(), Form1::State::Refused);
  EXPECT_EQ(agent.program.childSettings.MyCompNum, "");
}

// A settings file that is missing, cannot be opened, or has lines the agent cannot take apart.
TEST(Form1Test, StartUpStopsHalfStartedWhenTheSettingsCannotBeRead) {
  const struct {
    const char* settings;
    bool folder;  // a folder of that name: the file cannot be opened
    std::vector<std::string> message;
  } cases[] = {
      {nullptr, false, {" ファイルがありません"}},
      {nullptr, true, {}},
      {"[Velostrander]\r\nMyCompNumxx=07\r\nMasterPor\r\nMyHostPortx=70000\r\n",
       false,
       {"Velostrander_Child.ini", "3行目", "4行目", "70000"}},
  };
  for (const auto& c : cases) {
    Agent agent(c.settings);
    if (c.folder) std::filesystem::create_directory(agent.program.settingsFile);
    agent.form.Load();
    ASSERT_EQ(agent.platform.messages.size(), c.message.empty() ? 0u : 1u);
    for (const auto& part : c.message) {
      EXPECT_EQ(agent.platform.messages[0].first, kMessageTitle);
      EXPECT_THAT(agent.platform.messages[0].second, HasSubstr(part));
    }
    if (!c.message.empty()) {
      EXPECT_THAT(agent.platform.messages[0].second, Not(HasSubstr("2行目")));
    }
    EXPECT_EQ(agent.form.state(), Form1::State::HalfStarted);
    EXPECT_EQ(agent.platform.log.back(), "show Form1");
    EXPECT_EQ(agent.Window().menusVisible.count("Menu1"), 0u);  // its menu bar stays
    EXPECT_EQ(agent.Window().captions["Label1"], "");
    EXPECT_EQ(agent.program.childSettings.MyCompNum, "");
    EXPECT_EQ(agent.platform.endpoint, nullptr);
    EXPECT_EQ(agent.platform.browsersCreated, 0);
  }
}

TEST(Form1Test, AnOverlongBadValueIsShownCut) {
  const std::string settings = "MasterPortx=" + std::string(5000, '9') + "\r\n";
  Agent agent(settings.c_str());
  agent.form.Load();
  ASSERT_EQ(agent.platform.messages.size(), 1u);
  EXPECT_LT(agent.platform.messages[0].second.size(), 400u);
  EXPECT_THAT(agent.platform.messages[0].second, HasSubstr("99999…"));
}

// The agent still starts: its call panel and tray stay useful.
TEST(Form1Test, APortThatCannotBeBoundIsReportedAndStartUpGoesOn) {
  const struct {
    const char* port;
    platform::BindResult result;
    const char* reason;
  } cases[] = {
      {"5001", platform::BindResult::PortInUse, "ほかのプログラムが使用しています"},
      {"5001", platform::BindResult::AccessDenied, "このポートを使う権限がありません"},
      {"5001", platform::BindResult::Failed, "ポートを開けませんでした"},
      {"0", platform::BindResult::Bound, "1～32767 の番号を指定してください"},
      {"-5001", platform::BindResult::Bound, "1～32767 の番号を指定してください"},
  };
  for (const auto& c : cases) {
    Agent agent((std::string("MyHostPortx=") + c.port + "\r\n").c_str());
    agent.platform.bindResult = c.result;
    agent.form.Load();
    ASSERT_EQ(agent.platform.messages.size(), 1u) << c.port;
    EXPECT_THAT(agent.platform.messages[0].second,
                HasSubstr(std::string("UDPポート ") + c.port + " で受信を始められませんでした（" +
                          c.reason + "）"));
    const bool bound = std::find(agent.platform.log.begin(), agent.platform.log.end(),
                                 std::string("bind ") + c.port) != agent.platform.log.end();
    EXPECT_EQ(bound, c.port[0] != '0' && c.port[0] != '-') << c.port;
    EXPECT_EQ(agent.form.state(), Form1::State::Running);
    EXPECT_EQ(agent.platform.browsersCreated, 1);
  }
}

TEST(Form1Test, ASystemCloseDuringAStartUpMessageStopsStartUp) {
  for (const char* settings :
       {static_cast<const char*>(nullptr), "MasterPor\r\n", "MyHostPortx=0\r\n"}) {
    Agent agent(settings);
    agent.platform.whileMessageOpen = [&] { agent.platform.close("Form1"); };
    agent.form.Load();
    EXPECT_FALSE(agent.form.loaded());
    EXPECT_EQ(agent.form.state(), Form1::State::Ending);
    EXPECT_EQ(agent.platform.browsersCreated, 0);
  }
}

TEST(Form1Test, EndReleasesTheBrowserUnloadsAndSaysNothing) {
  const std::vector<std::string> unloaded = {"unload Form2", "tray remove 1", "unload Form1",
                                             "tray remove 1"};
  std::vector<std::string> released = {"browser visible false", "browser released"};
  released.insert(released.end(), unloaded.begin(), unloaded.end());
  const struct {
    const char* when;
    const char* settings;
    bool browserClosed;
    std::vector<std::string> steps;
  } cases[] = {{"running", kSettings, false, released},
               {"after the user closed the browser", kSettings, true, released},
               // The record was never filled: its removal finds no icon.
               {"half-started",
                nullptr,
                false,
                {"unload Form2", "tray remove 0", "unload Form1", "tray remove 0"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    Agent agent(c.settings);
    agent.form.Load();
    if (c.browserClosed) agent.platform.browser().alive = false;
    const auto messages = agent.platform.messages.size();
    agent.platform.log.clear();
    agent.platform.click("Form1", "Command1");
    EXPECT_THAT(agent.platform.log, ElementsAreArray(c.steps));
    EXPECT_EQ(agent.platform.loadedWindows(), 0u);
    EXPECT_EQ(agent.platform.endpoint, nullptr);
    EXPECT_EQ(agent.platform.messages.size(), messages);
  }
}

// The panel stays loaded when only the main window is closed; the system closes each.
TEST(Form1Test, ASystemCloseUnloadsEachWindowOnce) {
  Agent agent;
  agent.form.Load();
  agent.platform.close("Form1");
  EXPECT_FALSE(agent.form.loaded());
  EXPECT_EQ(agent.platform.loadedWindows(), 1u);
  agent.platform.close("Form2");
  EXPECT_EQ(agent.platform.loadedWindows(), 0u);
  EXPECT_EQ(std::count(agent.platform.log.begin(), agent.platform.log.end(), "unload Form1"), 1);
}

// The tray's mouse message is in X, in twips: divided by the factor and rounded, halves to even.
// Only a right press (516) opens the menu, at any resolution; over the visible main window no
// position at 15 twips a pixel is 516 pixels in.
TEST(Form1Test, ARightPressOnTheTrayIconPopsUpTheMenu) {
  const struct {
    double x, twipsPerPixel;
    bool opens;
  } cases[] = {{7740, 15, true},
               {7747.5, 15, true},
               {7762.5, 15, false},
               {7725, 15, false},
               {516 * 14.4, 14.4, true},                  // 100 dots per inch
               {516 * 1440.0 / 168, 1440.0 / 168, true},  // 175 %
               {516 * 12, 12, true},
               {3629, 15, false},
               {513 * 15, 15, false}};
  for (const auto& c : cases) {
    Agent agent;
    agent.form.Load();
    agent.platform.twipsPerPixel = c.twipsPerPixel;
    agent.platform.log.clear();
    agent.platform.mouseMove("Form1", c.x);
    const std::vector<std::string> opened = {"foreground Form1", "process pending events",
                                             "pop up Form1.Menu1"};
    EXPECT_EQ(agent.platform.log, c.opens ? opened : std::vector<std::string>{})
        << c.x << " at " << c.twipsPerPixel;
  }
}

TEST(Form1Test, TheMenuShowsTheOperationPanelOrTheOneAboutBox) {
  for (const char* settings : {kSettings, static_cast<const char*>(nullptr)}) {
    Agent agent(settings);
    agent.form.Load();
    agent.platform.choose("Form1", "Menu2");
    EXPECT_TRUE(agent.Window().visible);
    EXPECT_FALSE(agent.Window().menusVisible["Menu1"]);
    agent.platform.choose("Form1", "Menu3");
    agent.platform.choose("Form1", "Menu3");
    EXPECT_EQ(std::count(agent.platform.log.begin(), agent.platform.log.end(), "create frmAbout"),
              1);
    EXPECT_TRUE(agent.platform.window("frmAbout").visible);
    EXPECT_EQ(agent.platform.window("frmAbout").captions["Label1"],
              settings ? "コンピュータ番号:07" : "コンピュータ番号:");
  }
}

class Form1DatagramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    agent.form.Load();
    agent.platform.log.clear();
  }
  fake::FakeEndpoint& Endpoint() { return *agent.platform.endpoint; }
  fake::BrowserState& Browser() { return agent.platform.browser(); }

  Agent agent;
};

TEST_F(Form1DatagramTest, EachTextDoesItsOneThingThenTheMenuBarGoesOff) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"http://192.168.0.1/ページ.html",
       {"browser navigate http://192.168.0.1/ページ.html", "browser visible true"}},
      {"Command:FullScreen", {"browser fullscreen true"}},
      {"Command:VisibleTrue", {"browser visible true"}},
      {"Command:VisibleFalse", {"browser visible false"}},
      {"Command:PartScreen", {"browser fullscreen false"}},
      {"Command:FullScreen\r\n", {}},
      {"Command:", {}},
      {"javascript:fetch('http://192.168.0.9/')", {}},
  };
  for (const auto& [text, steps] : cases) {
    agent.platform.log.clear();
    Endpoint().arrive(text);
    std::vector<std::string> expected = steps;
    expected.push_back("browser menubar false");
    EXPECT_THAT(agent.platform.log, ElementsAreArray(expected)) << text;
  }
}

TEST_F(Form1DatagramTest, DatagramsArrivingDuringAPageWaitAreHandledAfterItInOrder) {
  Browser().pagePolls = 3;
  Endpoint().arrive("http://slow/");
  Endpoint().arrive("Command:FullScreen");
  Endpoint().arrive("http://next/");
  EXPECT_THAT(agent.platform.log,
              ElementsAre("browser navigate http://slow/", "browser visible true"));
  agent.platform.runPending();
  EXPECT_THAT(agent.platform.log,
              ElementsAre("browser navigate http://slow/", "browser visible true",
                          "browser menubar false", "browser fullscreen true",
                          "browser menubar false", "browser navigate http://next/",
                          "browser visible true", "browser menubar false"));
}

TEST_F(Form1DatagramTest, ARefusedCallIsReportedAndLaterDatagramsWaitForTheBox) {
  agent.platform.whileMessageOpen = [this] {
    Endpoint().arrive("Command:FullScreen");
    EXPECT_FALSE(Browser().fullScreen);
  };
  Endpoint().arrive({platform::ReadResult::RefusedByDestination, {}});
  EXPECT_THAT(agent.platform.messageTexts(),
              ElementsAre(std::string(kMessageTitle) + ": Velostrander_Masterが見つかりません"));
  EXPECT_THAT(agent.platform.log, ElementsAre("message " + std::string(kMessageTitle),
                                              "browser fullscreen true", "browser menubar false"));
}

TEST_F(Form1DatagramTest, OtherFailedReadsAreDroppedSilently) {
  Endpoint().arrive({platform::ReadResult::Failed, "bytes"});
  EXPECT_TRUE(agent.platform.log.empty());
  EXPECT_TRUE(agent.platform.messages.empty());
}

TEST_F(Form1DatagramTest, EndDuringAPageWaitLeavesNothingToRunAfterwards) {
  Browser().pagePolls = 100;
  Endpoint().arrive("http://slow/");
  agent.platform.click("Form1", "Command1");
  agent.platform.log.clear();
  agent.platform.runPending();
  EXPECT_TRUE(agent.platform.log.empty());
  EXPECT_EQ(agent.platform.loadedWindows(), 0u);
}

TEST_F(Form1DatagramTest, ABrowserClosedByTheUserComesBackForTheNextPage) {
  Browser().alive = false;
  Endpoint().arrive("http://again/");
  EXPECT_EQ(agent.platform.browsersCreated, 2);
  EXPECT_EQ(Browser().navigated, std::vector<std::string>{"http://again/"});
  EXPECT_TRUE(Browser().visible);
  EXPECT_FALSE(Browser().menuBar);
}

}  // namespace
