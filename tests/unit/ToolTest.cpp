#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "about/frmAbout.h"
#include "fake/FakePlatform.h"
#include "settings/SettingsFormat.h"
#include "tool/Program.h"
#include "unit/ScratchDir.h"

namespace {

using settings::LineProblem;
using ::testing::AllOf;
using ::testing::HasSubstr;
using Kind = LineProblem::Kind;

// Text1, Text2, Text3, Combo1's position, the number as read, and what was reported.
TEST(ToolEditor, EachLineLoadsByItsRule) {
  const struct {
    const char* file;
    tool::Fields fields;
    std::string number;
    std::vector<Kind> problems;
  } cases[] = {
      {"MasterPortx=0080\r\nMyHostPortx=80abc\r\nMasterCompx= pc \r\nMyCompNumxx=05",
       {"80", "80", " pc ", 4},
       "05",
       {}},
      {"MasterPortx=\r\nMyHostPortx=abc\r\nMyCompNumxx=00", {"0", "0", "", -1}, "00", {}},
      {"MyCompNumxx=5", {"", "", "", 4}, "5", {}},
      {"MyCompNumxx=.5", {"", "", "", 0}, ".5", {}},  // -0.5, not 0 - 1: the fraction stays
      {"MasterPortx=1\r\nMasterPortx=-2\r\nMasterPor x=3", {"3", "", "", -1}, "", {}},
      {"[MasterPortx=1]\r\nmasterPortx=1\r\n MasterPortx=1\r\n\r\nnote", {}, "", {}},
      // Reported once each, and their fields stay empty or unselected.
      {"MasterPortx=70000\r\nMyHostPor\r\nMasterCompx\r\nMyCompNumxx=31",
       {"", "", "", -1},
       "31",
       {Kind::PortOutOfRange, Kind::KeyFieldCut, Kind::KeyFieldCut, Kind::NumberOutOfRange}},
      {"MasterPortx=1\r\nMasterPor", {"", "", "", -1}, "", {Kind::KeyFieldCut}},
      // Shown as read in the file's encoding: a mark or valid UTF-8 that is not ASCII says UTF-8;
      // else the code page, Latin-1 here.
      {"\xEF\xBB\xBFMasterCompx=先生", {"", "", "先生", -1}, "", {}},
      {"MasterCompx=\xE9", {"", "", "é", -1}, "", {}},
      {"\xEF\xBB\xBFMasterCompx=\xE9", {"", "", "\uFFFD", -1}, "", {}},
  };
  const fake::Latin1CodePage codePage;
  for (const auto& c : cases) {
    const tool::Loaded loaded = tool::LoadSettings(c.file, codePage);
    const auto& f = loaded.fields;
    EXPECT_EQ(
        std::tie(f.masterPort, f.myHostPort, f.masterComp, f.listIndex),
        std::tie(c.fields.masterPort, c.fields.myHostPort, c.fields.masterComp, c.fields.listIndex))
        << c.file;
    EXPECT_EQ(loaded.number, c.number) << c.file;
    std::vector<Kind> kinds;
    for (const auto& problem : loaded.problems) kinds.push_back(problem.kind);
    EXPECT_EQ(kinds, c.problems) << c.file;
  }
}

// Written back in the encoding the file was read in, with the mark as found; nothing is written
// for a host name that the new file would not read as typed.
TEST(ToolEditor, TheLinesItOwnsAreRewrittenInTheFilesEncodingTheRestCopiedByteForByte) {
  const tool::Fields all{"80", "5001", " pc ", 11};
  const auto host = [](const char* typed) { return tool::Fields{"", "", typed, 0}; };
  const struct {
    std::string file;
    tool::Fields fields;
    std::optional<std::string> saved;
  } cases[] = {
      {"[Velostrander]\r\nMasterPortx=5000\r\n\r\nnote \xff\xfe\r\nMasterPor x=1\rMyCompNum\n"
       "MyHostPortx=1\r\nMasterOnlyx=1\nMasterCompx=old",
       all,
       "[Velostrander]\r\nMasterPortx=80\r\n\r\nnote \xff\xfe\r\nMasterPortx=80\r\n"
       "MyCompNumxx=12\r\nMyHostPortx=5001\r\nMasterOnlyx=1\r\nMasterCompx= pc \r\n"},
      {"", all, ""},
      {"a\nb", all, "a\r\nb\r\n"},
      {"MyCompNumxx=07", {}, "MyCompNumxx=00\r\n"},
      {"\xEF\xBB\xBFMasterCompx=先生", host("教室"), "\xEF\xBB\xBFMasterCompx=教室\r\n"},
      {"; 教室\nMasterCompx=pc", host("é"), "; 教室\r\nMasterCompx=é\r\n"},
      {"MasterCompx=\xE9", host("ü"), "MasterCompx=\xFC\r\n"},
      {"MasterCompx=pc", host("é"), "MasterCompx=\xE9\r\n"},
      {"MasterCompx=pc", host("先生"), std::nullopt},
      {"\xEF\xBB\xBFMasterCompx=\xE9", host("pc"), "\xEF\xBB\xBFMasterCompx=pc\r\n"},
      // Latin-1 "Ã©" is the bytes of UTF-8 "é": with the old name gone, so would the file be.
      {"MasterCompx=\xE9", host("Ã©"), std::nullopt},
  };
  const fake::Latin1CodePage codePage;
  for (const auto& c : cases) {
    const tool::Saved saved = tool::SaveSettings(c.file, c.fields, codePage);
    EXPECT_EQ(saved.unencodable ? std::nullopt : std::optional(saved.bytes), c.saved) << c.file;
    EXPECT_TRUE(!saved.unencodable || *saved.unencodable == settings::Key::MasterComp);
  }
}

// The tool on the fake platform, started in a scratch folder; `settings` null: no settings file.
struct Tool : fake::FakePlatform {
  explicit Tool(const char* settings) {
    program.settingsFile = dir.path() / "Velostrander_Child.ini";
    program.temporaryFile = dir.path() / "Temp.tmp";
    programFolder = dir.path();
    if (settings) dir.Write("Velostrander_Child.ini", settings);
    program.form1.Load();
  }
  fake::WindowState& Window(const char* name = "Form1") { return window(name); }

  ScratchDir dir;
  tool::Program program{*this};
};

TEST(ToolForm, LoadingFillsTheListShowsTheFieldsAndTheAboutBoxsNumber) {
  Tool tool("MasterPortx=0080\r\nMyHostPortx=5001\r\nMasterCompx=pc\r\nMyCompNumxx=07\r\n");
  EXPECT_EQ(tool.Window().items["Combo1"].size(), 30u);
  EXPECT_EQ(tool.Window().items["Combo1"].back(), "30");
  EXPECT_EQ(tool.Window().captions["Text1"], "80");
  EXPECT_EQ(tool.Window().listIndexes["Combo1"], 6);
  EXPECT_FALSE(tool.Window("frmAbout").visible);
  EXPECT_EQ(tool.Window("frmAbout").captions["Label2"], "コンピュータ番号:07");
  tool.Window().listIndexes["Combo1"] = 11;
  tool.click("Form1", "Combo1");
  tool.choose("Form1", "Menu01");
  EXPECT_TRUE(tool.Window("frmAbout").visible);
  EXPECT_EQ(tool.Window("frmAbout").captions["Label2"], "コンピュータ番号:12");
  EXPECT_EQ(tool.logged("create frmAbout"), 1);
  EXPECT_TRUE(tool.messages.empty());
}

TEST(ToolForm, SaveWritesWhatTheControlsShowOrSaysWhyNot) {
  Tool tool("[Velostrander]\r\nMasterPortx=5000\r\nMyCompNumxx=07\r\n");
  tool.Window().captions["Text1"] = "80";
  tool.fileWriteFailure = {platform::FileWriteFailure::Step::Flush, "No space left"};
  tool.click("Form1", "Command2");
  ASSERT_EQ(tool.messages.size(), 1u);
  EXPECT_THAT(tool.messages[0], HasSubstr("ディスクに書き出せません（No space left）"));
  tool.click("Form1", "Command2");
  EXPECT_EQ(tool.dir.Read("Velostrander_Child.ini"),
            "[Velostrander]\r\nMasterPortx=80\r\nMyCompNumxx=07\r\n");
  EXPECT_FALSE(std::filesystem::exists(tool.program.temporaryFile));
  EXPECT_EQ(tool.messages.size(), 1u);
  // A file that cannot be opened at the load or at the save is said each time; nothing is written.
  std::filesystem::remove(tool.program.settingsFile);
  std::filesystem::create_directory(tool.program.settingsFile);
  tool.program.form1.Load();
  tool.click("Form1", "Command2");
  ASSERT_EQ(tool.messages.size(), 3u);
  EXPECT_THAT(tool.messages[1], HasSubstr("開けませんでした"));
  EXPECT_THAT(tool.messages[2],
              AllOf(HasSubstr("開けませんでした"), HasSubstr("保存していません")));
  EXPECT_FALSE(std::filesystem::exists(tool.program.temporaryFile));
}

// "終了" ends all at once; the menu's and the title bar's end unless an About box is on screen.
TEST(ToolForm, TheWaysOut) {
  const auto button = [](Tool& tool) { tool.click("Form1", "Command1"); };
  const auto menu = [](Tool& tool) { tool.choose("Form1", "Menu11"); };
  const auto closeButton = [](Tool& tool) { tool.close("Form1"); };
  const struct {
    std::function<void(Tool&)> leave;
    bool aboutShown, endsAtOnce;
    std::size_t windowsLeft;  // when it does not
  } cases[] = {{button, true, true, 0},
               {menu, false, false, 0},
               {menu, true, false, 1},
               {closeButton, false, false, 0},
               {closeButton, true, false, 1}};
  for (const auto& c : cases) {
    Tool tool("MyCompNumxx=07\r\n");
    if (c.aboutShown) tool.choose("Form1", "Menu01");
    c.leave(tool);
    EXPECT_FALSE(tool.program.form1.loaded());
    EXPECT_EQ(tool.log.back() == "end program", c.endsAtOnce);
    if (!c.endsAtOnce) {
      EXPECT_EQ(tool.loadedWindows(), c.windowsLeft);
    }
  }
}

TEST(ToolForm, HelpShowsOneViewerOfTheFileBesideTheProgram) {
  Tool tool(nullptr);
  tool.choose("Form1", "Menu02");
  EXPECT_THAT(tool.Window("Help").captions["Text1"], HasSubstr("が見つかりません"));
  tool.close("Help");
  tool.dir.Write("Velostrander_Child.hlp", "# ヘルプ");
  tool.choose("Form1", "Menu02");
  tool.choose("Form1", "Menu02");
  EXPECT_EQ(tool.logged("create Help"), 2);
  EXPECT_EQ(tool.Window("Help").captions["Text1"], "# ヘルプ");
}

// The About box both programs show.
constexpr const char* kInfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr const char* kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr const char* kUnavailable = "Velostrander_Child: 現時点ではｼｽﾃﾑ情報を使用できません";

TEST(AboutTest, LoadingShowsTheProgramsTitleVersionAndNumber) {
  fake::FakePlatform fake;
  std::string number = "07";
  about::frmAbout box{fake, {"Velostrander_Child", "Label1", "警告", [&] { return number; }}};
  box.Show();
  auto& captions = fake.window("frmAbout").captions;
  EXPECT_EQ(captions[""], "Velostrander_Childのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(captions["lblVersion"], "ﾊﾞｰｼﾞｮﾝ 1.1.0");
  EXPECT_EQ(captions["lblTitle"], "Velostrander_Child");
  EXPECT_EQ(captions["Label1"], "コンピュータ番号:07");
  EXPECT_EQ(captions["lblDisclaimer"], "警告");
  // OK discards the box; the next one is loaded afresh.
  fake.click("frmAbout", "cmdOK");
  EXPECT_EQ(fake.loadedWindows(), 0u);
  number = "12";
  box.Show();
  EXPECT_EQ(fake.window("frmAbout").captions["Label1"], "コンピュータ番号:12");
}

// The path is the first value as read (a string's last NUL dropped), or else the second's folder
// with "\MSINFO32.EXE", if that is an ordinary file; anything else is the one failure message.
TEST(AboutTest, StartSysInfoFindsTheViewerOrSaysItCannot) {
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
    std::vector<std::string> steps = fake.log;
    std::erase_if(steps, [](const std::string& entry) { return entry.starts_with("message"); });
    steps.insert(steps.end(), fake.messages.begin(), fake.messages.end());
    EXPECT_EQ(steps, cases[i].steps);
    EXPECT_TRUE(fake.window("frmAbout").loaded);
  }
}

}  // namespace
