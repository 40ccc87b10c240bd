// The browser program as Windows starts it: the stand-in for Edge registered where Windows finds
// Edge, its pipe read from the event loop, its window, its end.
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
namespace fs = std::filesystem;

constexpr wchar_t kAppPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\msedge.exe";

struct Started {
  std::string bytes;
  int closed = 0;
  platform::BrowserProgramStart start;
};

Started& Start(platform::Win32BrowserPrograms& programs, Started& run) {
  run.start =
      programs.start({[&](std::string_view bytes) { run.bytes += bytes; }, [&] { ++run.closed; }});
  return run;
}

HWND StandInWindow() {
  return FindWindowW(L"Velostrander.StandInBrowser", nullptr);
}

class Win32BrowserPrograms : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove(log);
    SetEnvironmentVariableW(L"VELO_STANDIN_LOG", log.c_str());
    SetEnvironmentVariableW(L"VELO_DEVTOOLS_RECORDING", fs::path(VELO_RECORDING).c_str());
    RegSetKeyValueW(HKEY_CURRENT_USER, kAppPath, nullptr, REG_SZ, VELO_STANDIN,
                    sizeof VELO_STANDIN);
  }
  void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kAppPath); }

  std::string Log() {
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    return text.str();
  }

  const fs::path log = fs::temp_directory_path() / "velostrander-standin.log";
  platform::Win32BrowserPrograms programs{win32test::TheBackend().desktop.waits()};
};

// The far ends of the pipe reach the browser as its argument says, and no other handle of the
// agent's (an inheritable one is open meanwhile); its answers come through the loop.
TEST_F(Win32BrowserPrograms, TheRegisteredBrowserGetsOnlyItsPipeAndAnswersThroughTheLoop) {
  EXPECT_EQ(platform::FindEdge(), VELO_STANDIN);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE leak = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  Started run;
  Start(programs, run);
  CloseHandle(leak);
  ASSERT_TRUE(run.start.program) << run.start.reason;
  std::smatch handles;
  ASSERT_TRUE(PumpUntil([&] {
    const std::string text = Log();
    return std::regex_search(text, handles, std::regex("handles (\\d+),(\\d+)"));
  }));
  const std::string inherited = Log().substr(0, Log().find('\n'));
  EXPECT_EQ(inherited, "inherited " + handles[1].str() + " " + handles[2].str());

  run.start.program->send(R"({"id":7,"method":"Browser.getVersion","params":{}})");
  run.start.program->send(std::string(1, '\0'));
  ASSERT_TRUE(PumpUntil([&] { return run.bytes.find('\0') != std::string::npos; }));
  EXPECT_NE(run.bytes.find(R"("id":7)"), std::string::npos);
  EXPECT_NE(run.bytes.find("Chrome/"), std::string::npos);
  EXPECT_NE(Log().find(R"({"id":7,"method":"Browser.getVersion","params":{}})"), std::string::npos);

  ASSERT_TRUE(PumpUntil([] { return IsWindowVisible(StandInWindow()); }));
  run.start.program->showWindows(false);
  EXPECT_FALSE(IsWindowVisible(StandInWindow()));
  run.start.program->showWindows(true);
  EXPECT_TRUE(IsWindowVisible(StandInWindow()));
  run.start.program.reset();
  EXPECT_TRUE(PumpUntil([] { return !StandInWindow(); }));
  EXPECT_EQ(run.closed, 0);
}

// Killed: the pipe closes, said once, from the loop; unregistered: there is none to start.
TEST_F(Win32BrowserPrograms, ABrowserKilledIsClosedOnceAndNoneRegisteredIsNoneInstalled) {
  Started run;
  Start(programs, run);
  ASSERT_TRUE(PumpUntil([] { return StandInWindow(); }));
  DWORD id = 0;
  GetWindowThreadProcessId(StandInWindow(), &id);
  const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
  TerminateProcess(process, 9);
  CloseHandle(process);
  EXPECT_EQ(run.closed, 0);
  EXPECT_TRUE(PumpUntil([&] { return run.closed > 0; }));
  run.start.program->send("{}");
  EXPECT_FALSE(PumpUntil([&] { return run.closed > 1; }, std::chrono::milliseconds(300)));

  RegDeleteKeyW(HKEY_CURRENT_USER, kAppPath);
  Started none;
  EXPECT_FALSE(Start(programs, none).start.installed);
  EXPECT_FALSE(none.start.program);
}

}  // namespace
