// What the behaviour relies on of either backend's files, on the real file system, and of its
// code page: a failed replace leaves the target as it was.
#include <string>
#include <tuple>
#include <utility>

#include "contract/Harness.h"

namespace {

namespace fs = std::filesystem;
using FilesContract = harness::FilesTest;
using harness::TheFiles;
using platform::OpenResult;
using Step = platform::FileWriteFailure::Step;

TEST_F(FilesContract, AReadTellsAFileThatIsNotThereFromOneThatCannotBeOpened) {
  const platform::FileBytes read = TheFiles().read(target.string());
  EXPECT_TRUE(read.result == OpenResult::Opened && read.bytes == "old");
  for (const fs::path& absent : {temporary, temporary / "x", target / "x"}) {
    EXPECT_EQ(TheFiles().read(absent.string()).result, OpenResult::NotFound) << absent;
  }
  EXPECT_EQ(TheFiles().read(dir.path().string()).result, OpenResult::CannotOpen);
}

// A temporary file left from before, longer, decides nothing.
TEST_F(FilesContract, TheNewBytesTakeTheTargetsPlaceWithItsPermissions) {
  fs::permissions(target, fs::perms(0666));
  dir.Write("Temp.tmp", "left from before");
  EXPECT_FALSE(Replace(target));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0666));
  EXPECT_FALSE(fs::exists(temporary));
}

// Where the temporary file is to be made, or in the target's place; the folder stays as it was.
TEST_F(FilesContract, AFolderInTheWayFailsItsStepAndStays) {
  const fs::path folder = dir.path() / "folder";
  for (const auto& [file, inTheWay, step] :
       {std::tuple(target, temporary, Step::Create), std::tuple(folder, folder, Step::Replace)}) {
    fs::create_directory(inTheWay);
    const auto failure = Replace(file);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, step);
    EXPECT_EQ(failure->reason, harness::RefusalOfAFolder());
    EXPECT_TRUE(fs::is_directory(inTheWay) && fs::is_empty(inTheWay));
    fs::remove(inTheWay);
  }
  EXPECT_EQ(Read(target), "old");
  EXPECT_TRUE(!fs::exists(temporary) || Read(temporary) == "new");
}

// A read-only file is the user's choice to keep it as it is, for root too.
TEST_F(FilesContract, AReadOnlyTargetFailsAtReplaceAndStaysAsItWas) {
  fs::permissions(target, fs::perms(0444));
  const auto failure = Replace(target);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->step, Step::Replace);
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0444));
  EXPECT_TRUE(!fs::exists(temporary) || Read(temporary) == "new");
  fs::permissions(target, fs::perms(0666));
}

TEST(CodePageContract, InvalidBytesAndOnlyTheyBecomeReplacementCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"\x82\xa0\x8a\xbf\x8e\x9a PC", "あ漢字 PC"},
      {"\xf0\x40", "\xee\x80\x80"},  // a user-defined character, U+E000
      {"\x81\x7f", "\xef\xbf\xbd\x7f"},
      {"\x81 7", "\xef\xbf\xbd 7"},
      {"\xff"
       "7",
       "\xef\xbf\xbd"
       "7"},
      {"\xa0\xfd", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"ab\x81", "ab\xef\xbf\xbd"},
  };
  const platform::CodePage& codePage = harness::JapaneseCodePage();
  for (const auto& [ansi, utf8] : cases) EXPECT_EQ(codePage.toUtf8(ansi), utf8);
  EXPECT_EQ(codePage.fromUtf8("あ漢字 PC"), cases[0].first);
}

}  // namespace
