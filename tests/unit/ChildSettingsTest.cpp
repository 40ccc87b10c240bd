#include <gtest/gtest.h>

#include "fake/FakePlatform.h"
#include "settings/ChildSettings.h"
#include "unit/ScratchDir.h"

namespace {

using settings::ChildSettings;
using settings::LineProblem;
using settings::OpenResult;

const ChildSettings kBefore{"before", 1234, 4321, "99"};

class ReadChildSettingsTest : public ::testing::Test {
 protected:
  settings::ReadOutcome Read(const std::string& bytes) {
    read = kBefore;
    return settings::ReadChildSettings(dir.Write("Velostrander_Child.ini", bytes), codePage, read);
  }

  ScratchDir dir;
  fake::FakePlatform platform;
  const platform::CodePage& codePage = platform.codePage();
  ChildSettings read;
};

TEST_F(ReadChildSettingsTest, EachKeyLineSetsItsSettingAndTheLastOneWins) {
  const std::pair<std::string, ChildSettings> cases[] = {
      {"[Velostrander]\r\nMyCompNumxx=07\r\nMasterCompx=マスターPC \r\n"
       "MyHostPortx=5001\r\nMasterPortx=0080\r\n",
       {"マスターPC ", 80, 5001, "07"}},
      {"[Velostrander]\nMasterPortx=5000\nMyHostPortx=5001\nMasterCompx=pc\nMyCompNumxx=07\n",
       {"pc", 5000, 5001, "07"}},
      {"", kBefore},
      {"[a]\r\n\r\n[b]", kBefore},
      {"mastercompx=x\r\n MasterCompx=y\r\nMaster", kBefore},
      {"MasterCompx=first\r\nMasterCompx=second\rMyCompNumxx=3", {"second", 1234, 4321, "3"}},
      {"MyCompNumxx=123", {"before", 1234, 4321, "12"}},
      {"MyCompNumxx=番号", {"before", 1234, 4321, "番号"}},
      {"MyCompNumxx=", {"before", 1234, 4321, ""}},
      {"MyCompNum", {"before", 1234, 4321, ""}},
      {"MasterCompx=\r\nMasterPortx=", {"", 0, 4321, "99"}},
      // Bytes invalid in the code page do not break the reader.
      {"MasterCompx=\xFF\xFEpc\r\nMyCompNumxx=\x80"
       "7\r\nMyHostPortx=\xFF"
       "1\r\n",
       {"\uFFFD\uFFFDpc", 1234, 0, "\uFFFD7"}},
  };
  for (const auto& [bytes, expected] : cases) {
    const auto outcome = Read(bytes);
    EXPECT_EQ(outcome.result, OpenResult::Opened) << bytes;
    EXPECT_TRUE(outcome.problems.empty()) << bytes;
    EXPECT_EQ(read, expected) << bytes;
  }
}

TEST_F(ReadChildSettingsTest, LinesThatCannotBeTakenApartAreReportedAndNothingIsStored) {
  const auto outcome = Read(
      "[x]\r\nMasterCompx=changed\r\nMasterPor\r\nMyHostPortx=70000\r\nMasterCompx\r\n"
      "MyHostPor12\r\nMasterPortx=-32769\r\nMasterPortx=-32768\r\nMyCompNum\r\n");
  EXPECT_EQ(outcome.result, OpenResult::Opened);
  const std::vector<std::tuple<int, LineProblem::Kind, settings::Key, std::string>> expected = {
      {3, LineProblem::Kind::KeyFieldCut, settings::Key::MasterPort, ""},
      {4, LineProblem::Kind::PortOutOfRange, settings::Key::MyHostPort, "70000"},
      {5, LineProblem::Kind::KeyFieldCut, settings::Key::MasterComp, ""},
      {6, LineProblem::Kind::KeyFieldCut, settings::Key::MyHostPort, ""},
      {7, LineProblem::Kind::PortOutOfRange, settings::Key::MasterPort, "-32769"},
  };
  std::vector<std::tuple<int, LineProblem::Kind, settings::Key, std::string>> found;
  for (const auto& p : outcome.problems) found.emplace_back(p.lineNumber, p.kind, p.key, p.value);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(read, kBefore);
}

TEST_F(ReadChildSettingsTest, AMissingFileAndAFolderAreToldApart) {
  EXPECT_EQ(settings::ReadChildSettings(dir.path() / "absent.ini", codePage, read).result,
            OpenResult::NotFound);
  std::filesystem::create_directory(dir.path() / "folder.ini");
  EXPECT_EQ(settings::ReadChildSettings(dir.path() / "folder.ini", codePage, read).result,
            OpenResult::CannotOpen);
}

}  // namespace
