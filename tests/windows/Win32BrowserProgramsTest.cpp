// The browser program as Windows starts it: the stand-in for Edge registered where Windows finds
// Edge. What it is told over its pipe, its window and its death are the Wine scenario's
// (stand_in_browser); what the agent holds meanwhile, no scenario can arrange.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "platform/windows/Win32BrowserPrograms.h"
#include "windows/WindowsHarness.h"

namespace {

using harness::PumpUntil;

constexpr wchar_t kAppPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";

// Gone even when a check fails: the Internet Explorer scenarios find none registered.
struct Registered {
  Registered() {
    RegSetKeyValueW(HKEY_CURRENT_USER, kAppPath, nullptr, REG_SZ, VELO_STANDIN,
                    sizeof VELO_STANDIN);
  }
  ~Registered() { RegDeleteKeyW(HKEY_CURRENT_USER, kAppPath); }
};

// The far ends of the pipe reach the browser as its argument says, and no other handle of the
// agent's (an inheritable one is open meanwhile); dropped by the agent, it ends unheard.
TEST(Win32BrowserPrograms, TheRegisteredBrowserGetsOnlyItsPipe) {
  const auto log = std::filesystem::temp_directory_path() / "velostrander-standin.log";
  std::filesystem::remove(log);
  SetEnvironmentVariableW(L"VELO_STANDIN_LOG", log.c_str());
  const Registered registered;
  platform::Win32BrowserPrograms programs(win32test::TheBackend().desktop.waits());
  int closed = 0;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE leak = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  auto start = programs.start({[](std::string_view) {}, [&] { ++closed; }});
  CloseHandle(leak);
  ASSERT_TRUE(start.program) << start.reason;
  std::smatch handles;
  std::string text;
  ASSERT_TRUE(PumpUntil([&] {
    std::stringstream lines;
    lines << std::ifstream(log).rdbuf();
    text = lines.str();
    return std::regex_search(text, handles, std::regex("handles (\\d+),(\\d+)"));
  }));
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "inherited " + handles[1].str() + " " + handles[2].str());
  const auto window = [] { return FindWindowW(L"Velostrander.StandInBrowser", nullptr); };
  ASSERT_TRUE(PumpUntil([&] { return window() != nullptr; }));
  start.program.reset();
  EXPECT_TRUE(PumpUntil([&] { return !window(); }));
  EXPECT_EQ(closed, 0);
}

}  // namespace
