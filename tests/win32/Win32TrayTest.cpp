#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32Tray.h"
#include "win32/Win32Harness.h"

namespace {

std::vector<std::pair<DWORD, NOTIFYICONDATAA>>& Calls() {
  static std::vector<std::pair<DWORD, NOTIFYICONDATAA>> calls;
  return calls;
}

BOOL WINAPI Record(DWORD message, PNOTIFYICONDATAA data) {
  Calls().emplace_back(message, *data);
  return TRUE;
}

// Broadcasts the restarted task bar's message, then handles what it posted to this thread.
void RestartTaskBar() {
  platform::Win32MessageWindow& messages = win32test::TheBackend().window;
  const UINT marker = messages.newMessage();
  bool reached = false;
  messages.setHandler(marker, [&](WPARAM, LPARAM) { reached = true; });
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  PostMessageW(messages.hwnd(), marker, 0, 0);
  CHECK(harness::PumpUntil([&] { return reached; }));
  messages.removeHandler(marker);
}

}  // namespace

SELFCHECK_TEST(TheTrayIconIsTheShellsFirstAnsiRecordAndComesBackWithTheTaskBar) {
  platform::Win32Desktop desktop(GetModuleHandleW(nullptr));
  const auto window = desktop.createWindow({});
  platform::Win32Tray tray(GetModuleHandleW(nullptr), &Record);
  tray.add(*window, {1, 7, 512, "Velostrander_Child"});
  CHECK(Calls().size() == 1 && Calls()[0].first == NIM_ADD);
  const NOTIFYICONDATAA added = Calls()[0].second;
  CHECK(added.cbSize == NOTIFYICONDATAA_V1_SIZE && added.uID == 1 && added.uFlags == 7 &&
        added.uCallbackMessage == 512);
  CHECK(added.hWnd == static_cast<platform::Win32Window&>(*window).frame());
  CHECK(std::string(added.szTip, 64) ==
        std::string("Velostrander_Child", 19) + std::string(45, ' '));

  RestartTaskBar();
  CHECK(Calls().size() == 2 && Calls()[1].first == NIM_ADD &&
        std::memcmp(&Calls()[1].second, &added, NOTIFYICONDATAA_V1_SIZE) == 0);
  tray.remove({1, 0, 0, {}});
  CHECK(Calls().size() == 3 && Calls()[2].first == NIM_DELETE &&
        Calls()[2].second.hWnd == added.hWnd && Calls()[2].second.uID == 1);
  RestartTaskBar();
  CHECK(Calls().size() == 3);
}
