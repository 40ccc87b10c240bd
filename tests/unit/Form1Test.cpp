#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child/Form1.h"
#include "fake/FakePlatform.h"
#include "unit/ScratchDir.h"

namespace {

using child::Form1;
using ::testing::ElementsAre;

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() { program.settingsFile = dir.path() / "Velostrander_Child.ini"; }

  void WriteSettings(const std::string& bytes) { dir.Write("Velostrander_Child.ini", bytes); }

  fake::WindowState& Window() { return desktop.window("Form1"); }

  ScratchDir dir;
  fake::FakeDesktop desktop;
  fake::FakeInstanceGuard instance;
  fake::Utf8CodePage codePage;
  fake::FakeNetwork network;
  fake::FakeBrowserFactory browsers{desktop.log};
  fake::FakeScheduler scheduler;
  child::Program program{
      child::AgentPlatform{desktop, instance, codePage, network, browsers, scheduler}};
  Form1 form{program};
};

constexpr const char* kSettings =
    "MasterPortx=5000\r\nMyHostPortx=5001\r\nMasterCompx=pc\r\nMyCompNumxx=07\r\n";

TEST_F(Form1Test, DeclaresTheMainWindow) {
  WriteSettings("");
  form.Load();
  const auto& declaration = Window().declaration;
  EXPECT_EQ(declaration.caption, "Velostrander_Child");
  EXPECT_EQ(declaration.frame, platform::FrameStyle::FixedDialog);
  EXPECT_FALSE(declaration.showInTaskbar);
  EXPECT_TRUE(declaration.programIcon);
  EXPECT_EQ(declaration.clientWidth, 3630);
  EXPECT_EQ(declaration.clientHeight, 450);
  ASSERT_EQ(declaration.controls.size(), 2u);
  EXPECT_EQ(declaration.controls[1].name, "Command1");
  EXPECT_EQ(declaration.controls[1].caption, "End");
  EXPECT_EQ(declaration.controls[1].tabIndex, 0);
}

TEST_F(Form1Test, NormalStartRunsEveryStepInOrder) {
  WriteSettings(kSettings);
  form.Load();
  EXPECT_THAT(desktop.log, ElementsAre("create Form1", "disable close Form1",
                                       "caption Form1.Label1 コンピュータ番号:07", "hide Form1",
                                       "browser created", "browser fullscreen false",
                                       "browser toolbar false", "browser menubar false"));
  EXPECT_EQ(form.state(), Form1::State::Running);
  ASSERT_NE(network.endpoint, nullptr);
  EXPECT_EQ(network.endpoint->boundPort, 5001);
  EXPECT_EQ(network.endpoint->remoteHost, "pc");
  EXPECT_FALSE(browsers.browser().visible);
  EXPECT_FALSE(Window().visible);
  EXPECT_TRUE(Window().closeDisabled);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(Form1Test, WithoutANumberLineTheLabelEndsAtTheColon) {
  WriteSettings("MasterCompx=pc\r\n");
  form.Load();
  EXPECT_EQ(Window().captions["Label1"], "コンピュータ番号:");
}

TEST_F(Form1Test, ASecondInstanceWarnsAndEndsWithNothingElseRun) {
  WriteSettings("MyCompNumxx=07\r\n");
  instance.otherInstance = true;
  form.Load();
  EXPECT_THAT(desktop.log, ElementsAre("create Form1", "message 警告", "end program"));
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].second, "すでにこのプログラムは起動しています");
  EXPECT_EQ(form.state(), Form1::State::Refused);
  EXPECT_EQ(program.childSettings.MyCompNum, "");
  EXPECT_EQ(network.endpoint, nullptr);
  EXPECT_EQ(browsers.created, 0);
}

TEST_F(Form1Test, AMissingFileIsReportedAndLeavesTheAgentHalfStarted) {
  form.Load();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].first, "Velostrander_Childからのメッセージ");
  EXPECT_EQ(desktop.messages[0].second, " ファイルがありません");
  EXPECT_THAT(desktop.log, ElementsAre("create Form1", "disable close Form1",
                                       "message Velostrander_Childからのメッセージ", "show Form1"));
  EXPECT_EQ(form.state(), Form1::State::HalfStarted);
  EXPECT_EQ(Window().captions["Label1"], "");
  EXPECT_EQ(network.endpoint, nullptr);
  EXPECT_EQ(browsers.created, 0);
}

TEST_F(Form1Test, AFileThatCannotBeOpenedLeavesTheAgentHalfStartedSilently) {
  std::filesystem::create_directory(program.settingsFile);
  form.Load();
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(form.state(), Form1::State::HalfStarted);
  EXPECT_TRUE(Window().visible);
}

TEST_F(Form1Test, MalformedLinesAreNamedInOneMessageAndStopStartUp) {
  WriteSettings("[Velostrander]\r\nMyCompNumxx=07\r\nMasterPor\r\nMyHostPortx=70000\r\n");
  form.Load();
  ASSERT_EQ(desktop.messages.size(), 1u);
  const auto& [title, text] = desktop.messages[0];
  EXPECT_EQ(title, "Velostrander_Childからのメッセージ");
  EXPECT_NE(text.find("Velostrander_Child.ini"), std::string::npos);
  EXPECT_NE(text.find("3行目"), std::string::npos);
  EXPECT_NE(text.find("4行目"), std::string::npos);
  EXPECT_NE(text.find("70000"), std::string::npos);
  EXPECT_EQ(text.find("2行目"), std::string::npos);
  EXPECT_EQ(form.state(), Form1::State::HalfStarted);
  EXPECT_TRUE(Window().visible);
  EXPECT_EQ(Window().captions["Label1"], "");
  EXPECT_EQ(program.childSettings.MyCompNum, "");
}

TEST_F(Form1Test, AnOverlongBadValueIsShownCut) {
  WriteSettings("MasterPortx=" + std::string(5000, '9') + "\r\n");
  form.Load();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_LT(desktop.messages[0].second.size(), 400u);
  EXPECT_NE(desktop.messages[0].second.find("99999…"), std::string::npos);
}

TEST_F(Form1Test, EndHidesAndReleasesTheBrowserThenUnloads) {
  WriteSettings(kSettings);
  form.Load();
  desktop.log.clear();
  desktop.click("Form1", "Command1");
  EXPECT_FALSE(form.loaded());
  EXPECT_EQ(desktop.loadedWindows(), 0u);
  EXPECT_EQ(network.endpoint, nullptr);
  EXPECT_THAT(desktop.log,
              ElementsAre("browser visible false", "browser released", "unload Form1"));
}

TEST_F(Form1Test, EndAfterTheUserClosedTheBrowserIsSilent) {
  WriteSettings(kSettings);
  form.Load();
  browsers.browser().alive = false;
  desktop.click("Form1", "Command1");
  EXPECT_EQ(desktop.loadedWindows(), 0u);
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(browsers.created, 1);
}

TEST_F(Form1Test, APortThatCannotBeBoundIsReportedAndStartUpGoesOn) {
  WriteSettings(kSettings);
  network.bindResult = platform::BindResult::PortInUse;
  form.Load();
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_NE(desktop.messages[0].second.find("5001"), std::string::npos);
  EXPECT_NE(desktop.messages[0].second.find("ほかのプログラム"), std::string::npos);
  EXPECT_EQ(form.state(), Form1::State::Running);
  EXPECT_EQ(browsers.created, 1);
}

TEST_F(Form1Test, APortThatIsNotPositiveIsNeverBound) {
  for (const char* port : {"0", "-5001"}) {
    desktop.messages.clear();
    WriteSettings(std::string("MyHostPortx=") + port + "\r\n");
    child::Program fresh{
        child::AgentPlatform{desktop, instance, codePage, network, browsers, scheduler}};
    fresh.settingsFile = program.settingsFile;
    Form1 other{fresh};
    other.Load();
    ASSERT_EQ(desktop.messages.size(), 1u) << port;
    EXPECT_NE(desktop.messages[0].second.find(port), std::string::npos);
    EXPECT_EQ(network.endpoint->boundPort, -1);
  }
}

TEST_F(Form1Test, ASystemCloseDuringAStartUpMessageStopsStartUp) {
  for (const char* settings : {"", "MasterPor\r\n", "MyHostPortx=0\r\n"}) {
    child::Program fresh{
        child::AgentPlatform{desktop, instance, codePage, network, browsers, scheduler}};
    fresh.settingsFile = program.settingsFile;
    std::filesystem::remove(fresh.settingsFile);
    if (*settings != '\0') WriteSettings(settings);
    Form1 other{fresh};
    desktop.whileMessageOpen = [this] { desktop.close("Form1"); };
    other.Load();
    EXPECT_FALSE(other.loaded()) << settings;
    EXPECT_EQ(other.state(), Form1::State::Ending) << settings;
    EXPECT_EQ(browsers.created, 0) << settings;
  }
}

TEST_F(Form1Test, EndWorksFromTheHalfStartedState) {
  form.Load();
  desktop.click("Form1", "Command1");
  EXPECT_EQ(desktop.loadedWindows(), 0u);
  EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(Form1Test, ASystemCloseUnloadsOnceAndEndAfterItChangesNothing) {
  WriteSettings("");
  form.Load();
  desktop.close("Form1");
  EXPECT_FALSE(form.loaded());
  const auto logged = desktop.log.size();
  form.Command1_Click();
  EXPECT_EQ(desktop.log.size(), logged);
}

class Form1DatagramTest : public Form1Test {
 protected:
  void SetUp() override {
    WriteSettings(kSettings);
    form.Load();
    desktop.log.clear();
  }
  void Arrive(std::string text) { network.endpoint->arrive({std::move(text), 0}); }
};

TEST_F(Form1DatagramTest, AUrlOpensAndShowsTheBrowserThenTheMenuBarGoesOff) {
  Arrive("http://192.168.0.1/ページ.html");
  EXPECT_THAT(desktop.log, ElementsAre("browser navigate http://192.168.0.1/ページ.html",
                                       "browser visible true", "browser menubar false"));
}

TEST_F(Form1DatagramTest, EachVerbChangesOneThingThenTheMenuBarGoesOff) {
  Arrive("Command:FullScreen");
  Arrive("Command:VisibleTrue");
  Arrive("Command:VisibleFalse");
  Arrive("Command:PartScreen");
  Arrive("Command:FullScreen\r\n");
  Arrive("Command:");
  EXPECT_THAT(desktop.log, ElementsAre("browser fullscreen true", "browser menubar false",
                                       "browser visible true", "browser menubar false",
                                       "browser visible false", "browser menubar false",
                                       "browser fullscreen false", "browser menubar false",
                                       "browser menubar false", "browser menubar false"));
}

TEST_F(Form1DatagramTest, DatagramsArrivingDuringAPageWaitAreHandledAfterItInOrder) {
  browsers.browser().pagePolls = 3;
  Arrive("http://slow/");
  Arrive("Command:FullScreen");
  Arrive("http://next/");
  EXPECT_THAT(desktop.log, ElementsAre("browser navigate http://slow/", "browser visible true"));
  scheduler.runPending();
  EXPECT_THAT(desktop.log, ElementsAre("browser navigate http://slow/", "browser visible true",
                                       "browser menubar false", "browser fullscreen true",
                                       "browser menubar false", "browser navigate http://next/",
                                       "browser visible true", "browser menubar false"));
}

TEST_F(Form1DatagramTest, ARefusedCallIsReportedAndTheBrowserIsNotTouched) {
  network.endpoint->arrive({"", platform::kConnectionReset});
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].first, "Velostrander_Childからのメッセージ");
  EXPECT_EQ(desktop.messages[0].second, "Velostrander_Masterが見つかりません");
  EXPECT_THAT(desktop.log, ElementsAre("message Velostrander_Childからのメッセージ"));
  Arrive("Command:FullScreen");
  EXPECT_EQ(desktop.log.back(), "browser menubar false");
}

TEST_F(Form1DatagramTest, DatagramsWaitWhileTheUserReadsAMessage) {
  desktop.whileMessageOpen = [this] {
    Arrive("Command:FullScreen");
    EXPECT_FALSE(browsers.browser().fullScreen);
  };
  network.endpoint->arrive({"", platform::kConnectionReset});
  EXPECT_TRUE(browsers.browser().fullScreen);
}

TEST_F(Form1DatagramTest, OtherReadErrorsAreDroppedSilently) {
  network.endpoint->arrive({"", 10040});
  EXPECT_TRUE(desktop.log.empty());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(Form1DatagramTest, EndDuringAPageWaitLeavesNothingToRunAfterwards) {
  browsers.browser().pagePolls = 100;
  Arrive("http://slow/");
  desktop.click("Form1", "Command1");
  desktop.log.clear();
  scheduler.runPending();
  EXPECT_TRUE(desktop.log.empty());
  EXPECT_EQ(desktop.loadedWindows(), 0u);
}

TEST_F(Form1DatagramTest, ABrowserClosedByTheUserComesBackForTheNextPage) {
  browsers.browser().alive = false;
  Arrive("http://again/");
  EXPECT_EQ(browsers.created, 2);
  EXPECT_EQ(browsers.browser().navigated, std::vector<std::string>{"http://again/"});
  EXPECT_TRUE(browsers.browser().visible);
  EXPECT_FALSE(browsers.browser().menuBar);
}

}  // namespace
