// The browser program on a real pipe, with a stand-in for Chromium (BrowserStandIn.cpp).
#include "platform/linux/QtBrowserPrograms.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "contract/Harness.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

struct Heard {
  std::string bytes;
  int closed = 0;
  size_t bytesBeforeClosed = 0;
};

// Whether no process of the group runs (a zombie left to whoever reaps orphans is done).
bool Gone(pid_t group) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    char state = 0;
    pid_t parent = 0, itsGroup = 0;
    fields >> state >> parent >> itsGroup;
    if (itsGroup == group && state != 'Z') return false;
  }
  return true;
}

class QtBrowserPrograms : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CACHE_HOME", cache.c_str(), 1); }
  void TearDown() override {
    unsetenv("XDG_CACHE_HOME");
    fs::remove_all(cache);
  }

  platform::BrowserProgramStart Start(const std::string& path = VELO_BROWSER_STAND_IN) {
    return platform::QtBrowserPrograms(path).start(
        {[this](std::string_view bytes) { heard.bytes += bytes; },
         [this] {
           ++heard.closed;
           heard.bytesBeforeClosed = heard.bytes.size();
         }});
  }

  // The stand-in's first message: its pid, then a line a descriptor list and argument.
  pid_t Hello(std::vector<std::string>& lines) {
    EXPECT_TRUE(harness::PumpUntil([&] { return heard.bytes.find('\0') != std::string::npos; }));
    std::string hello = heard.bytes.substr(0, heard.bytes.find('\0'));
    heard.bytes.erase(0, hello.size() + 1);
    for (size_t end; (end = hello.find('\n')) != std::string::npos; hello.erase(0, end + 1)) {
      lines.push_back(hello.substr(0, end));
    }
    lines.push_back(hello);
    return static_cast<pid_t>(std::stol(lines.at(0).substr(4)));
  }

  fs::path cache = fs::temp_directory_path() / ("velo-browser-" + std::to_string(getpid()));
  Heard heard;
};

// The pipe's ends as 3 and 4, and nothing else of the agent's; the arguments that keep the
// sandbox and the student's view as they should be; a profile of the user's own.
TEST_F(QtBrowserPrograms, StartsTheBrowserOnItsPipeWithNothingElse) {
  platform::BrowserProgramStart start = Start();
  ASSERT_TRUE(start.program) << start.component << ": " << start.reason;
  std::vector<std::string> lines;
  const pid_t pid = Hello(lines);
  EXPECT_EQ(lines.at(1), "fds 0 1 2 3 4");
  const fs::path profile = cache / "velostrander" / "browser";
  for (const std::string& wanted :
       std::vector<std::string>{"--user-data-dir=" + profile.native(), "--remote-debugging-pipe",
                                "--ozone-platform=x11", "--password-store=basic"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), wanted), lines.end()) << wanted;
  }
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "--no-sandbox"), lines.end());
  struct stat status {};
  ASSERT_EQ(stat(profile.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700);
  // More than a pipe holds, so that the send must wait for the browser to read.
  std::string message(1 << 20, 'x');
  message.back() = '\0';
  start.program->send(message);
  EXPECT_TRUE(harness::PumpUntil([&] { return heard.bytes.size() >= message.size(); }));
  EXPECT_EQ(heard.bytes, message);
  start.program.reset();  // the stand-in ends on the pipe's end
  EXPECT_TRUE(Gone(pid));
  EXPECT_EQ(heard.closed, 0);
}

// Whichever way the browser ends, the agent hears once, after the last bytes; and whatever is left
// of it when the agent lets it go ends, also a browser that would outlive its pipe, soon.
TEST_F(QtBrowserPrograms, TheBrowsersEndIsHeardOnceAndNothingOfItOutlivesTheProgram) {
  for (const std::string_view order : {"end", "leave", "linger"}) {
    heard = {};
    platform::BrowserProgramStart start = Start();
    std::vector<std::string> lines;
    const pid_t pid = Hello(lines);
    start.program->send("echoed");
    // Apart, as the stand-in reads orders one read each.
    EXPECT_TRUE(harness::PumpUntil([&] { return heard.bytes == "echoed"; }));
    start.program->send({order.data(), order.size() + 1});
    if (order != "linger") {
      EXPECT_TRUE(harness::PumpUntil([&] { return heard.closed > 0; }));
      harness::PumpUntil([] { return false; }, milliseconds(50));
      EXPECT_EQ(heard.closed, 1) << order;
      EXPECT_EQ(heard.bytes.substr(0, heard.bytesBeforeClosed), "echoed") << order;
      start.program->send("dropped");
    }
    const auto released = std::chrono::steady_clock::now();
    start.program.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - released, milliseconds(4000)) << order;
    EXPECT_TRUE(Gone(pid)) << order;
  }
}

// None installed is no fault; one that cannot be run, or a profile that cannot be made, is.
TEST_F(QtBrowserPrograms, SaysWhyNoneStarted) {
  const fs::path file =
      fs::temp_directory_path() / ("velo-not-a-program-" + std::to_string(getpid()));
  std::ofstream(file) << "#!/bin/sh\n";
  fs::permissions(file, fs::perms::owner_read);
  struct Case {
    std::string path, cache;
    bool installed;
    std::string component;
    int error;
  };
  const fs::path underFile = file / "cache";
  for (const Case& c :
       {Case{"/nonexistent/chromium", cache, false, "", 0}, Case{file, cache, true, file, EACCES},
        Case{VELO_BROWSER_STAND_IN, underFile, true, underFile / "velostrander" / "browser",
             ENOTDIR}}) {
    setenv("XDG_CACHE_HOME", c.cache.c_str(), 1);
    const platform::BrowserProgramStart start = Start(c.path);
    EXPECT_FALSE(start.program) << c.path;
    EXPECT_EQ(start.installed, c.installed) << c.path;
    EXPECT_EQ(start.component, c.component) << c.path;
    EXPECT_EQ(start.reason, c.error ? std::strerror(c.error) : "") << c.path;
  }
  fs::remove(file);
}

}  // namespace
