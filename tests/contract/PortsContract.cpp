// What the behaviour relies on of either backend's files, on the real file system, and of its
// code page: a failed replace leaves the target as it was.
#include <functional>
#include <latch>
#include <optional>
#include <string>
#include <thread>
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

// A link planted where the temporary file goes: neither what it leads to is written, nor the
// link removed.
TEST_F(FilesContract, ALinkInTheTemporaryFilesPlaceIsNeverWrittenThrough) {
  const fs::path elsewhere = dir.Write("elsewhere", "untouched");
  const std::function<void()> plant[] = {[&] { fs::create_hard_link(elsewhere, temporary); },
                                         [&] { harness::PlantSymlink(temporary, elsewhere); }};
  for (const auto& link : plant) {
    link();
    const auto failure = Replace(target);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, Step::Linked);
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Read(elsewhere), "untouched");
    EXPECT_TRUE(fs::exists(fs::symlink_status(temporary)));
    fs::remove(temporary);
  }
}

// A save that finds the temporary file held by another gives way and says so, and leaves that
// file and the target as they are; once no one holds it, it is a file left behind, and goes.
TEST_F(FilesContract, ASaveGivesWayToOneThatHoldsTheTemporaryFile) {
  dir.Write("Temp.tmp", "half");
  std::optional<platform::FileWriteFailure> failure;
  {
    const auto held = harness::HoldAsASave(temporary);
    failure = Replace(target);
  }
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->step, Step::Held);
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Read(temporary), "half");
  EXPECT_FALSE(Replace(target));
  EXPECT_EQ(Read(target), "new");
  EXPECT_FALSE(fs::exists(temporary));
}

// Two saves at once, again and again: each time one wins whole, and the other gives way or
// follows it.
TEST_F(FilesContract, OfTwoSavesAtOnceOneWinsWhole) {
  const std::string versions[] = {std::string(1 << 20, 'a'), std::string(1 << 20, 'b')};
  for (int round = 0; round < 20; ++round) {
    std::optional<platform::FileWriteFailure> failures[2];
    std::latch start(2);
    const auto save = [&](int which) {
      start.arrive_and_wait();
      failures[which] = TheFiles().replace(target.string(), temporary.string(), versions[which]);
    };
    std::thread other(save, 1);
    save(0);
    other.join();
    EXPECT_FALSE(failures[0] && failures[1]) << round;
    for (const int which : {0, 1}) {
      const auto& failure = failures[which];
      EXPECT_TRUE(!failure || failure->step == Step::Held) << failure->reason;
      if (failure) {
        EXPECT_EQ(Read(target), versions[1 - which]) << round;
      }
    }
    EXPECT_TRUE(Read(target) == versions[0] || Read(target) == versions[1]) << round;
    EXPECT_FALSE(fs::exists(temporary)) << round;
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
