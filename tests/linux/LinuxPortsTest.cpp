// The Qt backend's ports that need no event loop: the code page, the instance guard, and
// Files::read and replace on the real file system, what each step leaves behind and why one failed;
// a failed one leaves the target as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/PosixInstanceGuard.h"
#include "unit/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  return {std::istreambuf_iterator<char>(std::ifstream(file, std::ios::binary).rdbuf()), {}};
}

class PosixFilesTest : public ::testing::Test {
 protected:
  void ExpectFailure(const fs::path& file, platform::FileWriteFailure::Step step, int error) {
    const auto failure = files.replace(file, temporary, "new");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, step);
    EXPECT_EQ(failure->reason, std::strerror(error));
    EXPECT_EQ(Read(target), "old");
  }

  const platform::PosixCodePage codePage;
  platform::PosixFiles files{codePage};
  const ScratchDir dir;
  const fs::path target = dir.Write("Velostrander_Child.ini", "old");
  const fs::path temporary = dir.path() / "Temp.tmp";
};

// A temporary file left from before, longer and of other permissions or a link planted to
// another file, decides nothing, and nothing is written through it.
TEST_F(PosixFilesTest, TheNewBytesTakeTheTargetsPlaceWithItsPermissions) {
  fs::permissions(target, fs::perms(0640));
  const fs::path elsewhere = dir.Write("elsewhere", "untouched");
  for (const bool link : {false, true}) {
    if (link) fs::create_symlink(elsewhere, temporary);
    if (!link) fs::permissions(dir.Write("Temp.tmp", "left from before"), fs::perms(0400));
    EXPECT_FALSE(files.replace(target, temporary, "new"));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(fs::symlink_status(target).permissions(), fs::perms(0640));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));
  }
  EXPECT_EQ(Read(elsewhere), "untouched");
}

TEST_F(PosixFilesTest, AFolderNamedLikeTheTemporaryFileFailsAtCreateAndStays) {
  fs::create_directory(temporary);
  ExpectFailure(target, platform::FileWriteFailure::Step::Create, EISDIR);
  EXPECT_TRUE(fs::is_directory(temporary));
}

// As Windows keeps a read-only file, for root too; no temporary file is left beside it.
TEST_F(PosixFilesTest, AReadOnlyTargetFailsAtReplaceAndStaysAsItWas) {
  fs::permissions(target, fs::perms(0444));
  ExpectFailure(target, platform::FileWriteFailure::Step::Replace, EACCES);
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0444));
  EXPECT_FALSE(fs::exists(temporary));
}

TEST_F(PosixFilesTest, ATargetThatIsAFolderFailsAtReplaceAndStaysAsItWas) {
  const fs::path folder = dir.path() / "folder";
  fs::create_directory(folder);
  ExpectFailure(folder, platform::FileWriteFailure::Step::Replace, EISDIR);
  EXPECT_TRUE(fs::is_directory(folder) && fs::is_empty(folder));
  EXPECT_TRUE(!fs::exists(temporary) || Read(temporary) == "new");
}

TEST_F(PosixFilesTest, AReadTellsAFileThatIsNotThereFromOneThatCannotBeOpened) {
  using platform::OpenResult;
  const platform::FileBytes read = files.read(target);
  EXPECT_TRUE(read.result == OpenResult::Opened && read.bytes == "old");
  EXPECT_EQ(files.read(temporary).result, OpenResult::NotFound);
  EXPECT_EQ(files.read(target / "x").result, OpenResult::NotFound);
  EXPECT_EQ(files.read(dir.path()).result, OpenResult::CannotOpen);
}

// Under the C or POSIX locale (an agent started by a service, or with no LANG), not every byte
// above 127 may become U+FFFD: a Japanese host name must survive.
TEST(PosixCodePage, ReadsUtf8WhereTheLocaleIsPlainAscii) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "POSIX"}) {
    std::setlocale(LC_ALL, locale);
    const platform::PosixCodePage codePage;
    EXPECT_EQ(codePage.toUtf8("マスターPC \xff"), "マスターPC \uFFFD") << locale;
    EXPECT_EQ(codePage.fromUtf8("07Call"), "07Call") << locale;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// The claim lives in the user's runtime folder, or in a private folder of the user's own when
// the runtime folder is missing or others may enter it.
TEST(PosixInstanceGuard, OneClaimAtATimeInAFolderOfTheUsersOwn) {
  const auto locks = [](const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      count += entry.path().extension() == ".lock" ? 1 : 0;
    }
    return count;
  };
  for (const mode_t mode : {0700, 0777}) {
    const ScratchDir runtime;
    chmod(runtime.path().c_str(), mode);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    auto first = std::make_unique<platform::PosixInstanceGuard>();
    EXPECT_FALSE(first->anotherInstanceRunning());
    EXPECT_FALSE(first->anotherInstanceRunning());
    EXPECT_EQ(locks(runtime.path()), mode == 0700 ? 1 : 0);
    if (mode != 0700) {
      EXPECT_GE(locks("/tmp/velostrander-" + std::to_string(getuid())), 1);
    }
    EXPECT_TRUE(platform::PosixInstanceGuard().anotherInstanceRunning());
    first.reset();
    EXPECT_FALSE(platform::PosixInstanceGuard().anotherInstanceRunning());
  }
}

}  // namespace
