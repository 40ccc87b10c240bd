// What the behaviour relies on of either backend's files, on the real file system, and of its
// code page: a failed replace leaves the target as it was.
#include <functional>
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

// A folder where the temporary file is to be made or in the target's place, or a read-only target
// (the user's choice to keep it as it is, for root too): its step fails and all stays as it was.
TEST_F(FilesContract, WhatIsInTheWayFailsItsStepAndStays) {
  const fs::path folder = dir.path() / "folder";
  for (const auto& [file, inTheWay, step] :
       {std::tuple(target, temporary, Step::Create), std::tuple(folder, folder, Step::Replace),
        std::tuple(target, target, Step::Replace)}) {
    const bool readOnly = inTheWay == target;
    readOnly ? fs::permissions(target, fs::perms(0444)) : void(fs::create_directory(inTheWay));
    const auto failure = Replace(file);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, step);
    EXPECT_TRUE(readOnly || failure->reason == harness::RefusalOfAFolder()) << failure->reason;
    EXPECT_TRUE(readOnly ? fs::status(target).permissions() == fs::perms(0444)
                         : fs::is_directory(inTheWay) && fs::is_empty(inTheWay));
    readOnly ? fs::permissions(target, fs::perms(0666)) : void(fs::remove(inTheWay));
    EXPECT_EQ(Read(target), "old");
    EXPECT_TRUE(!fs::exists(temporary) || Read(temporary) == "new");
  }
}

// What stands where the temporary file goes and is not the save's to take, a hard or symbolic
// link to another file or a file that another save holds, is neither written to (nor through)
// nor removed, and the target stays as it was. (A file that no one holds goes: see above.)
TEST_F(FilesContract, WhatStandsInTheTemporaryFilesPlaceIsLeftAsItIs) {
  const fs::path elsewhere = dir.Write("elsewhere", "untouched");
  std::shared_ptr<void> held;
  const std::pair<std::function<void()>, Step> cases[] = {
      {[&] { fs::create_hard_link(elsewhere, temporary); }, Step::Linked},
      {[&] { harness::PlantSymlink(temporary, elsewhere); }, Step::Linked},
      {[&] { held = harness::HoldAsASave(dir.Write("Temp.tmp", "untouched")); }, Step::Held}};
  for (const auto& [plant, step] : cases) {
    plant();
    const auto failure = Replace(target);
    held.reset();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, step);
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Read(elsewhere), "untouched");
    EXPECT_EQ(Read(temporary), "untouched");
    fs::remove(temporary);
  }
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
