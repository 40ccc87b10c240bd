#include <gtest/gtest.h>

#include "fake/FakePlatform.h"
#include "settings/ChildSettings.h"
#include "unit/ScratchDir.h"

namespace {

using settings::ChildSettings;
using settings::LineProblem;
using settings::OpenResult;

class ReadChildSettingsTest : public ::testing::Test {
 protected:
  settings::ReadOutcome Read(const std::string& bytes) {
    return settings::ReadChildSettings(dir.Write("Velostrander_Child.ini", bytes), codePage, read);
  }

  ScratchDir dir;
  fake::Utf8CodePage codePage;
  ChildSettings read;
};

TEST_F(ReadChildSettingsTest, ReadsTheFourKeysInAnyOrder) {
  const auto outcome = Read(
      "[Velostrander]\r\nMyCompNumxx=07\r\nMasterCompx=マスターPC \r\n"
      "MyHostPortx=5001\r\nMasterPortx=0080\r\n");
  EXPECT_EQ(outcome.result, OpenResult::Opened);
  EXPECT_TRUE(outcome.problems.empty());
  EXPECT_EQ(read.MasterComp, "マスターPC ");
  EXPECT_EQ(read.MasterPort, 80);
  EXPECT_EQ(read.MyHostPort, 5001);
  EXPECT_EQ(read.MyCompNum, "07");
}

TEST_F(ReadChildSettingsTest, EmptyOrKeylessFilesLeaveTheInitialValues) {
  for (const char* bytes : {"", "[a]\r\n\r\n[b]", "mastercompx=x\r\n MasterCompx=y\r\nMaster"}) {
    read = {};
    const auto outcome = Read(bytes);
    EXPECT_EQ(outcome.result, OpenResult::Opened);
    EXPECT_EQ(read.MasterComp, "");
    EXPECT_EQ(read.MasterPort, 0);
    EXPECT_EQ(read.MyCompNum, "");
  }
}

TEST_F(ReadChildSettingsTest, MissingKeysKeepTheirValueAndTheLastLineWins) {
  read.MasterPort = 1234;
  Read("MasterCompx=first\r\nMasterCompx=second\rMyCompNumxx=3");
  EXPECT_EQ(read.MasterComp, "second");
  EXPECT_EQ(read.MasterPort, 1234);
  EXPECT_EQ(read.MyCompNum, "3");
}

TEST_F(ReadChildSettingsTest, ComputerNumberTakesAtMostTwoCharacters) {
  Read("MyCompNumxx=123");
  EXPECT_EQ(read.MyCompNum, "12");
  Read("MyCompNumxx=番号");
  EXPECT_EQ(read.MyCompNum, "番号");
  Read("MyCompNumxx=");
  EXPECT_EQ(read.MyCompNum, "");
  Read("MyCompNum");
  EXPECT_EQ(read.MyCompNum, "");
}

TEST_F(ReadChildSettingsTest, KeyFieldAloneGivesEmptyHostAndPortZero) {
  read.MasterPort = 9;
  Read("MasterCompx=\r\nMasterPortx=");
  EXPECT_EQ(read.MasterComp, "");
  EXPECT_EQ(read.MasterPort, 0);
}

TEST_F(ReadChildSettingsTest, LinesEndedByLineFeedAloneReadAsSeparateLines) {
  Read("[Velostrander]\nMasterPortx=5000\nMyHostPortx=5001\nMasterCompx=pc\nMyCompNumxx=07\n");
  EXPECT_EQ(read.MasterPort, 5000);
  EXPECT_EQ(read.MyHostPort, 5001);
  EXPECT_EQ(read.MasterComp, "pc");
  EXPECT_EQ(read.MyCompNum, "07");
}

TEST_F(ReadChildSettingsTest, LinesThatCannotBeTakenApartAreReportedAndNothingIsStored) {
  read.MasterComp = "before";
  const auto outcome = Read(
      "[x]\r\nMasterCompx=changed\r\nMasterPor\r\nMyHostPortx=70000\r\nMasterCompx\r\n"
      "MyHostPor12\r\nMasterPortx=-32769\r\nMasterPortx=-32768\r\nMyCompNum\r\n");
  EXPECT_EQ(outcome.result, OpenResult::Opened);
  ASSERT_EQ(outcome.problems.size(), 5u);
  EXPECT_EQ(outcome.problems[0].lineNumber, 3);
  EXPECT_EQ(outcome.problems[0].kind, LineProblem::Kind::KeyFieldCut);
  EXPECT_EQ(outcome.problems[0].key, settings::Key::MasterPort);
  EXPECT_EQ(outcome.problems[1].lineNumber, 4);
  EXPECT_EQ(outcome.problems[1].kind, LineProblem::Kind::PortOutOfRange);
  EXPECT_EQ(outcome.problems[1].value, "70000");
  EXPECT_EQ(outcome.problems[2].lineNumber, 5);
  EXPECT_EQ(outcome.problems[2].key, settings::Key::MasterComp);
  EXPECT_EQ(outcome.problems[3].lineNumber, 6);
  EXPECT_EQ(outcome.problems[4].lineNumber, 7);
  EXPECT_EQ(read.MasterComp, "before");
}

TEST_F(ReadChildSettingsTest, BytesInvalidInTheCodePageDoNotBreakTheReader) {
  const auto outcome = Read(
      "MasterCompx=\xFF\xFEpc\r\nMyCompNumxx=\x80"
      "7\r\nMyHostPortx=\xFF"
      "1\r\n");
  EXPECT_EQ(outcome.result, OpenResult::Opened);
  EXPECT_EQ(read.MasterComp, "\uFFFD\uFFFDpc");
  EXPECT_EQ(read.MyCompNum, "\uFFFD7");
  EXPECT_EQ(read.MyHostPort, 0);
}

TEST_F(ReadChildSettingsTest, AMissingFileAndAFolderAreToldApart) {
  EXPECT_EQ(settings::ReadChildSettings(dir.path() / "absent.ini", codePage, read).result,
            OpenResult::NotFound);
  std::filesystem::create_directory(dir.path() / "folder.ini");
  EXPECT_EQ(settings::ReadChildSettings(dir.path() / "folder.ini", codePage, read).result,
            OpenResult::CannotOpen);
}

}  // namespace
