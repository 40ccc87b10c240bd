// The browser program on a real pipe, with a stand-in for Chromium (BrowserStandIn.cpp).
#include "platform/linux/QtBrowserPrograms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "contract/Harness.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Whether no process of the group runs; a zombie left for whoever reaps orphans does not.
bool Gone(pid_t group) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line, state, parent, itsGroup;
    if (std::getline(stat, line) &&
        std::istringstream(line.substr(line.rfind(')') + 2)) >> state >> parent >> itsGroup &&
        std::stoi(itsGroup) == group && state != "Z") {
      return false;
    }
  }
  return true;
}

class QtBrowserPrograms : public ::testing::Test {
 protected:
  QtBrowserPrograms() { setenv("XDG_CACHE_HOME", cache.c_str(), 1); }
  ~QtBrowserPrograms() override { fs::remove_all(cache); }

  platform::BrowserProgramStart Start(const std::string& path = VELO_BROWSER_STAND_IN) {
    return platform::QtBrowserPrograms(path).start(
        {[this](std::string_view bytes) { heard += bytes; },
         [this] { closedAfter.push_back(heard.size()); }});
  }

  // The stand-in's first message, a line each: its pid, its descriptors, its arguments.
  std::vector<std::string> Hello() {
    EXPECT_TRUE(harness::PumpUntil([&] { return heard.find('\0') != std::string::npos; }));
    std::istringstream hello(heard.substr(0, heard.find('\0')));
    heard.erase(0, heard.find('\0') + 1);
    std::vector<std::string> lines;
    for (std::string line; std::getline(hello, line);) lines.push_back(line);
    return lines;
  }

  const fs::path cache = fs::temp_directory_path() / ("velo-browser-" + std::to_string(getpid()));
  std::string heard;
  std::vector<size_t> closedAfter;  // what had been heard at each close
};

// The pipe's ends as 3 and 4, and nothing else of the agent's; the sandbox on; a profile of the
// user's own.
TEST_F(QtBrowserPrograms, StartsTheBrowserOnItsPipeWithNothingElse) {
  platform::BrowserProgramStart start = Start();
  ASSERT_TRUE(start.program) << start.component << ": " << start.reason;
  const std::vector<std::string> lines = Hello();
  EXPECT_EQ(lines.at(1), "fds 0 1 2 3 4");
  const fs::path profile = cache / "velostrander" / "browser";
  for (const std::string& wanted :
       {"--user-data-dir=" + profile.native(), "--remote-debugging-pipe"s, "--ozone-platform=x11"s,
        "--password-store=basic"s}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), wanted), 1) << wanted;
  }
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "--no-sandbox"), 0);
  EXPECT_EQ(fs::status(profile).permissions(), fs::perms::owner_all);
  const std::string message(1 << 20, 'x');  // more than a pipe holds: the send waits for reads
  start.program->send(message);
  EXPECT_TRUE(harness::PumpUntil([&] { return heard.size() >= message.size(); }));
  EXPECT_TRUE(heard == message);
  start.program.reset();  // the stand-in ends on the pipe's end
  EXPECT_TRUE(Gone(std::stoi(lines.at(0).substr(4))));
  EXPECT_TRUE(closedAfter.empty());
}

// Whichever way the browser ends, the agent hears it once, after the last bytes; whatever is left
// of it when the agent lets it go ends soon, also one that would outlive its pipe.
TEST_F(QtBrowserPrograms, TheBrowsersEndIsHeardOnceAndNothingOfItOutlivesTheProgram) {
  for (const std::string_view order : {"end", "leave", "linger"}) {
    heard.clear();
    closedAfter.clear();
    platform::BrowserProgramStart start = Start();
    const pid_t pid = std::stoi(Hello().at(0).substr(4));
    start.program->send("echoed");
    EXPECT_TRUE(harness::PumpUntil([&] { return heard == "echoed"; }));  // orders come alone
    start.program->send({order.data(), order.size() + 1});
    if (order != "linger") {
      EXPECT_TRUE(harness::PumpUntil([&] { return !closedAfter.empty(); }));
      start.program->send("dropped");
      harness::PumpUntil([] { return false; }, std::chrono::milliseconds(50));
      EXPECT_EQ(closedAfter, std::vector<size_t>{6}) << order;
    }
    const auto released = std::chrono::steady_clock::now();
    start.program.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - released, std::chrono::seconds(4)) << order;
    EXPECT_TRUE(Gone(pid)) << order;
  }
}

// None installed is no fault; one that cannot be run, or a profile that cannot be made, is.
TEST_F(QtBrowserPrograms, SaysWhyNoneStarted) {
  const fs::path file = cache.native() + "-file";
  std::ofstream(file) << "#!/bin/sh\n";
  const fs::path underFile = file / "cache";
  for (const auto& [path, cacheHome, installed, component, error] :
       {std::tuple{"/nonexistent/chromium"s, cache, false, ""s, 0},
        std::tuple{file.native(), cache, true, file.native(), EACCES},
        std::tuple{VELO_BROWSER_STAND_IN ""s, underFile, true,
                   (underFile / "velostrander" / "browser").native(), ENOTDIR}}) {
    setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
    const platform::BrowserProgramStart start = Start(path);
    EXPECT_EQ(std::tuple(!start.program, start.installed, start.component, start.reason),
              std::tuple(true, installed, component, error ? std::strerror(error) : ""s))
        << path;
  }
  fs::remove(file);
}

}  // namespace
