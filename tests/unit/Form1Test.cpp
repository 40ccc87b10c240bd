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
  child::Program program{desktop, instance, codePage};
  Form1 form{program};
};

TEST_F(Form1Test, DeclaresTheMainWindow) {
  WriteSettings("");
  form.Load();
  const auto& spec = Window().spec;
  EXPECT_EQ(spec.caption, "Velostrander_Child");
  EXPECT_EQ(spec.frame, platform::FrameStyle::FixedDialog);
  EXPECT_FALSE(spec.showInTaskbar);
  EXPECT_TRUE(spec.programIcon);
  EXPECT_EQ(spec.clientWidth, 3630);
  EXPECT_EQ(spec.clientHeight, 450);
  ASSERT_EQ(spec.controls.size(), 2u);
  EXPECT_EQ(spec.controls[1].name, "Command1");
  EXPECT_EQ(spec.controls[1].caption, "End");
  EXPECT_EQ(spec.controls[1].tabIndex, 0);
}

TEST_F(Form1Test, NormalStartReadsSettingsShowsTheNumberAndHides) {
  WriteSettings("MasterPortx=5000\r\nMyHostPortx=5001\r\nMasterCompx=pc\r\nMyCompNumxx=07\r\n");
  form.Load();
  EXPECT_THAT(desktop.log, ElementsAre("create Form1", "disable close Form1",
                                       "caption Form1.Label1 コンピュータ番号:07", "hide Form1"));
  EXPECT_EQ(form.state(), Form1::State::Running);
  EXPECT_EQ(program.childSettings.MyHostPort, 5001);
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

TEST_F(Form1Test, EndUnloadsTheRunningAgent) {
  WriteSettings("MyCompNumxx=07\r\n");
  form.Load();
  desktop.click("Form1", "Command1");
  EXPECT_FALSE(form.loaded());
  EXPECT_EQ(desktop.loadedWindows(), 0u);
  EXPECT_EQ(desktop.log.back(), "unload Form1");
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

}  // namespace
