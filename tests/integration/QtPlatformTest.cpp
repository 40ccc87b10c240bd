// The Qt backend's ports that need no event loop: the code page and the instance guard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/qt/QtCodePage.h"
#include "platform/qt/QtInstanceGuard.h"
#include "unit/ScratchDir.h"

namespace {

// Under the C or POSIX locale (an agent started by a service, or with no LANG), not every byte
// above 127 may become U+FFFD: a Japanese host name must survive.
TEST(QtCodePage, ReadsUtf8WhereTheLocaleIsPlainAscii) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "POSIX"}) {
    std::setlocale(LC_ALL, locale);
    const platform::QtCodePage codePage;
    EXPECT_EQ(codePage.toUtf8("マスターPC \xff"), "マスターPC \uFFFD") << locale;
    EXPECT_EQ(codePage.fromUtf8("07Call"), "07Call") << locale;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// The claim lives in the user's runtime folder, or in a private folder of the user's own when
// the runtime folder is missing or others may enter it.
TEST(QtInstanceGuard, OneClaimAtATimeInAFolderOfTheUsersOwn) {
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
    auto first = std::make_unique<platform::QtInstanceGuard>();
    EXPECT_FALSE(first->anotherInstanceRunning());
    EXPECT_FALSE(first->anotherInstanceRunning());
    EXPECT_EQ(locks(runtime.path()), mode == 0700 ? 1 : 0);
    if (mode != 0700) {
      EXPECT_GE(locks("/tmp/velostrander-" + std::to_string(getuid())), 1);
    }
    EXPECT_TRUE(platform::QtInstanceGuard().anotherInstanceRunning());
    first.reset();
    EXPECT_FALSE(platform::QtInstanceGuard().anotherInstanceRunning());
  }
}

}  // namespace
