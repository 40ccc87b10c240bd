#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "about/frmAbout.h"
#include "fake/FakePlatform.h"

namespace {

using ::testing::ElementsAre;

constexpr const char* kInfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kUnavailable = "Velostrander_Child: 現時点ではｼｽﾃﾑ情報を使用できません";

class AboutTest : public ::testing::Test {
 protected:
  fake::FakePlatform platform;
  std::string number = "07";
  about::frmAbout agent{platform,
                        {"Velostrander_Child", "Label1", "警告", [this] { return number; }}};
  about::frmAbout tool{platform, {"Velostrander_Child_Tool", "Label2", "", nullptr}};
};

TEST_F(AboutTest, LoadingShowsTheProgramsTitleVersionAndNumber) {
  agent.Show();
  auto& captions = platform.window("frmAbout").captions;
  EXPECT_EQ(captions[""], "Velostrander_Childのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(captions["lblVersion"], "ﾊﾞｰｼﾞｮﾝ 1.1.0");
  EXPECT_EQ(captions["lblTitle"], "Velostrander_Child");
  EXPECT_EQ(captions["Label1"], "コンピュータ番号:07");
  EXPECT_EQ(captions["lblDisclaimer"], "警告");
  // OK discards the box; the next one is loaded afresh.
  platform.click("frmAbout", "cmdOK");
  EXPECT_EQ(platform.loadedWindows(), 0u);
  number = "12";
  agent.Show();
  EXPECT_EQ(platform.window("frmAbout").captions["Label1"], "コンピュータ番号:12");
}

// The tool's settings window sets the label, loading the box hidden; the box's own loading
// leaves it, and showing it shows that same box.
TEST_F(AboutTest, TheToolsLabelIsSetFromOutside) {
  tool.SetComputerNumberLabel("コンピュータ番号:5");
  EXPECT_FALSE(platform.window("frmAbout").visible);
  tool.Show();
  EXPECT_TRUE(platform.window("frmAbout").visible);
  EXPECT_EQ(platform.window("frmAbout").captions["Label2"], "コンピュータ番号:5");
  EXPECT_EQ(std::count(platform.log.begin(), platform.log.end(), "create frmAbout"), 1);
}

// The path is the first value as read (a string's last NUL dropped), or else the second's folder
// with "\MSINFO32.EXE", if that is an ordinary file; anything else is the one failure message.
TEST_F(AboutTest, StartSysInfoFindsTheViewerOrSaysItCannot) {
  const platform::RegistryValue tools{1, "C:\\Tools\\msinfo32.exe"};
  const platform::RegistryValue folder{1, std::string("C:\\Common\\MSInfo\0", 17)};
  const std::string viewer = "C:\\Common\\MSInfo\\MSINFO32.EXE";
  const struct {
    std::vector<platform::RegistryValue> values;  // the first value's, then the second's
    bool viewerThere;
    std::vector<std::string> steps;  // what comes after the look-ups
  } cases[] = {
      {{tools}, false, {"start C:\\Tools\\msinfo32.exe"}},
      {{{1, "C:\\Nowhere.exe"}}, false, {"start C:\\Nowhere.exe", kUnavailable}},
      {{{}, folder}, true, {"start " + viewer}},
      {{{}, folder}, false, {kUnavailable}},
      {{}, false, {kUnavailable}},
      {{{1, ""}, folder}, true, {kUnavailable}},  // empty: an error at once
      {{{2, "%SystemRoot%\\msinfo32.exe"}}, true, {"start ", kUnavailable}},  // P stays empty
      {{{4, std::string("\x2a\0\0\0", 4)}}, true, {"start 42", kUnavailable}},
      {{{1, std::string(1025, 'x')}, folder}, true, {"start " + viewer}},  // too long: not read
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    fake::FakePlatform fake;
    about::frmAbout box{fake, {"Velostrander_Child", "Label1", "", nullptr}};
    const char* keys[] = {kInfo, kLocation};
    const char* names[] = {"PATH", "MSINFO"};
    for (std::size_t n = 0; n < cases[i].values.size(); ++n) {
      if (cases[i].values[n].type) fake.registryValues[{keys[n], names[n]}] = cases[i].values[n];
    }
    if (cases[i].viewerThere) fake.ordinaryFiles = {viewer};
    fake.startablePrograms = {"C:\\Tools\\msinfo32.exe", viewer};
    box.Show();
    fake.log.clear();
    fake.click("frmAbout", "cmdSysInfo");
    std::vector<std::string> steps;
    for (const auto& entry : fake.log) {
      if (!entry.starts_with("registry") && !entry.starts_with("message")) steps.push_back(entry);
    }
    for (const auto& text : fake.messageTexts()) steps.push_back(text);
    EXPECT_EQ(steps, cases[i].steps);
    const bool secondTried = std::count(fake.log.begin(), fake.log.end(),
                                        std::string("registry ") + kLocation + " MSINFO") == 1;
    EXPECT_EQ(secondTried, cases[i].values.empty() || cases[i].values[0].type == 0 ||
                               cases[i].values[0].data.size() > 1024);
    EXPECT_TRUE(fake.window("frmAbout").loaded);
  }
}

}  // namespace
