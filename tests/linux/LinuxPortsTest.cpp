// The Qt backend's ports beyond the contracts: what a save keeps of the file, the code page under
// a plain ASCII locale, the instance guard, and a lookup outliving its resolver.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <functional>

#include "contract/Harness.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixInstanceGuard.h"
#include "platform/linux/PosixResolver.h"

namespace {

namespace fs = std::filesystem;
using PosixFiles = harness::FilesTest;

// A file left from before, read-only, is replaced; the target's mode stays, and its owner where
// the system lets it (root saving a user's file).
TEST_F(PosixFiles, TheTargetKeepsItsModeAndOwnerAndAFileLeftFromBeforeGoes) {
  fs::permissions(dir.Write("Temp.tmp", "left from before"), fs::perms(0400));
  const uid_t owner = getuid() == 0 ? 65534 : getuid();  // nobody
  ASSERT_EQ(chown(target.c_str(), owner, -1) | chmod(target.c_str(), 0640), 0);
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

// Two agents meet at one lock, in a folder that only the user may enter: the session's runtime
// folder, else one of the user's name in the shared temporary folder, else, where another user
// made that name first (as root: nobody; else it lets everyone in), one in the cache folder.
TEST(PosixInstanceGuard, TwoAgentsMeetAtOneLockInAFolderOnlyTheUserOwns) {
  const ScratchDir scratch;
  const fs::path runtime = scratch.path() / "runtime", shared = scratch.path() / "tmp";
  const fs::path ofUser = shared / ("velostrander-" + std::to_string(getuid()));
  const fs::path cache = scratch.path() / "cache", own = cache / "velostrander/lock";
  fs::create_directories(shared);
  fs::create_directory(runtime);
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const std::pair<std::function<void()>, fs::path> cases[] = {
      {[&] { fs::permissions(runtime, fs::perms(0700)); }, runtime},
      {[&] { fs::permissions(runtime, fs::perms(0777)); }, ofUser},
      {[&] {
         unsetenv("XDG_RUNTIME_DIR");
         if (chown(ofUser.c_str(), 65534, 65534) != 0) fs::permissions(ofUser, fs::perms(0777));
       },
       own}};
  for (const auto& [make, folder] : cases) {
    make();
    auto first = std::make_unique<platform::PosixInstanceGuard>(shared);
    EXPECT_FALSE(first->anotherInstanceRunning()) << folder;
    EXPECT_FALSE(first->anotherInstanceRunning()) << folder;
    EXPECT_TRUE(platform::PosixInstanceGuard(shared).anotherInstanceRunning()) << folder;
    first.reset();
    EXPECT_FALSE(platform::PosixInstanceGuard(shared).anotherInstanceRunning()) << folder;
    EXPECT_TRUE(fs::exists(folder) && !fs::is_empty(folder)) << folder;
  }
  unsetenv("XDG_CACHE_HOME");
}

// A lookup's thread may finish after its resolver has gone: its answer is dropped, not delivered
// to what went with the resolver.
TEST(PosixResolver, AnAnswerComingAfterTheResolverWentIsDropped) {
  bool orphanAnswered = false;
  std::make_unique<platform::PosixResolver>()->lookUp("localhost",
                                                      [&](auto) { orphanAnswered = true; });
  platform::PosixResolver resolver;
  bool answered = false;
  resolver.lookUp("localhost", [&](auto) { answered = true; });
  ASSERT_TRUE(harness::PumpUntil([&] { return answered; }));
  EXPECT_FALSE(orphanAnswered);
}

}  // namespace
