// The Qt backend's ports beyond the contracts: what a save keeps of the file, the code
// page under a plain ASCII locale, and the instance guard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "contract/Harness.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixInstanceGuard.h"

namespace {

namespace fs = std::filesystem;
using PosixFiles = harness::FilesTest;

// A file left from before, read-only, is replaced; the target's mode stays, and its owner where
// the system lets it (root saving a user's file).
TEST_F(PosixFiles, TheTargetKeepsItsModeAndOwnerAndAFileLeftFromBeforeGoes) {
  fs::permissions(dir.Write("Temp.tmp", "left from before"), fs::perms(0400));
  const uid_t owner = getuid() == 0 ? 65534 : getuid();  // nobody
  ASSERT_EQ(chown(target.c_str(), owner, owner == 65534 ? 65534 : getgid()), 0);
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  EXPECT_FALSE(Replace(target));
  EXPECT_EQ(Read(target), "new");
  struct stat status {};
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(status.st_uid, owner);
  EXPECT_FALSE(fs::exists(temporary));
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
