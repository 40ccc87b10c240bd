// The browser program as Windows starts it: the stand-in for Edge registered where Windows finds
// Edge, its pipe read from the event loop, its window, its end (its death: the Wine scenario).
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

void Unregister() {
  RegDeleteKeyW(HKEY_CURRENT_USER, kAppPath);
}

// Gone even when a check fails: the Internet Explorer scenarios find none registered.
struct Registered {
  ~Registered() { Unregister(); }
};

HWND StandInWindow() {
  return FindWindowW(L"Velostrander.StandInBrowser", nullptr);
}

// The far ends of the pipe reach the browser as its argument says, and no other handle of the
// agent's (an inheritable one is open meanwhile); its answers come through the loop; it ends with
// the program. Unregistered, there is none.
TEST(Win32BrowserPrograms, TheRegisteredBrowserGetsOnlyItsPipeAndAnswersThroughTheLoop) {
  const auto log = std::filesystem::temp_directory_path() / "velostrander-standin.log";
  std::filesystem::remove(log);
  SetEnvironmentVariableW(L"VELO_STANDIN_LOG", log.c_str());
  SetEnvironmentVariableA("VELO_DEVTOOLS_RECORDING", VELO_RECORDING);
  RegSetKeyValueW(HKEY_CURRENT_USER, kAppPath, nullptr, REG_SZ, VELO_STANDIN, sizeof VELO_STANDIN);
  const Registered registered;
  const auto lines = [&] {
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    return text.str();
  };
  EXPECT_EQ(platform::FindEdge(), VELO_STANDIN);
  platform::Win32BrowserPrograms programs(win32test::TheBackend().desktop.waits());
  std::string bytes;
  int closed = 0;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE leak = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  auto start = programs.start({[&](std::string_view got) { bytes += got; }, [&] { ++closed; }});
  CloseHandle(leak);
  ASSERT_TRUE(start.program) << start.reason;
  std::smatch handles;
  std::string text;
  ASSERT_TRUE(PumpUntil([&] {
    text = lines();
    return std::regex_search(text, handles, std::regex("handles (\\d+),(\\d+)"));
  }));
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "inherited " + handles[1].str() + " " + handles[2].str());

  start.program->send(R"({"id":7,"method":"Browser.getVersion","params":{}})");
  start.program->send(std::string(1, '\0'));
  ASSERT_TRUE(PumpUntil([&] { return bytes.find('\0') != std::string::npos; }));
  EXPECT_TRUE(bytes.find(R"("id":7)") != bytes.npos && bytes.find("Chrome/") != bytes.npos);
  EXPECT_NE(lines().find(R"({"id":7,"method":"Browser.getVersion","params":{}})"), text.npos);

  ASSERT_TRUE(PumpUntil([] { return IsWindowVisible(StandInWindow()); }));
  start.program->showWindows(false, false);
  EXPECT_TRUE(PumpUntil([] { return !IsWindowVisible(StandInWindow()); }));
  start.program->showWindows(true, false);
  EXPECT_TRUE(PumpUntil([] { return IsWindowVisible(StandInWindow()); }));
  start.program.reset();
  EXPECT_TRUE(PumpUntil([] { return !StandInWindow(); }));
  EXPECT_EQ(closed, 0);

  Unregister();
  EXPECT_FALSE(programs.start({}).installed);
}

}  // namespace
