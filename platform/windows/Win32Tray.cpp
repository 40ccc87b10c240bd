#include "platform/windows/Win32Tray.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/windows/Win32MessageWindow.h"
#include "platform/windows/Win32Text.h"
#include "platform/windows/Win32Window.h"
#include "platform/windows/resource.h"

namespace platform {
namespace {

constexpr wchar_t kListenerClass[] = L"Velostrander.Tray";
constexpr int kIconSize = 32;

// The tip as the program has always given it: its text in the ANSI code page, one NUL, and
// spaces to the end of the field.
void SetTip(NOTIFYICONDATAA& data, const std::string& utf8) {
  const std::string tip = FromUtf16(CP_ACP, Utf8ToUtf16(utf8));
  const std::size_t length = std::min(tip.size(), sizeof data.szTip - 1);
  std::memset(data.szTip, ' ', sizeof data.szTip);
  std::memcpy(data.szTip, tip.data(), length);
  data.szTip[length] = '\0';
}

}  // namespace

Win32Tray::Win32Tray(HINSTANCE instance, NotifyFunction notify)
    : instance_(instance),
      notify_(notify),
      listener_(CreateOwnedWindow(instance, kListenerClass, &WindowProc, this, L"", 0, WS_POPUP,
                                  nullptr)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {}

Win32Tray::~Win32Tray() {
  DestroyOwnedWindow(listener_);
}

void Win32Tray::add(Window& window, const TrayRecord& record) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = static_cast<Win32Window&>(window).frame();
  data.uID = record.id;
  data.uFlags = record.flags;
  data.uCallbackMessage = record.callbackMessage;
  data.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                             kIconSize, kIconSize, LR_SHARED));
  SetTip(data, record.tip);
  Icon& icon = icons_[record.id] = {data, true};
  notify_(NIM_ADD, &icon.data);
}

// A record never added still goes to the shell, which finds no icon for it.
void Win32Tray::remove(const TrayRecord& record) {
  NOTIFYICONDATAA none{};
  none.cbSize = NOTIFYICONDATAA_V1_SIZE;
  none.uID = record.id;
  const auto found = icons_.find(record.id);
  if (found != icons_.end()) found->second.shown = false;
  notify_(NIM_DELETE, found != icons_.end() ? &found->second.data : &none);
}

void Win32Tray::addAgain() {
  for (auto& [id, icon] : icons_) {
    if (icon.shown && IsWindow(icon.data.hWnd)) notify_(NIM_ADD, &icon.data);
  }
}

LRESULT CALLBACK Win32Tray::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  // Closing the window would leave the icons without it.
  if (message == WM_CLOSE) return 0;
  auto* tray = reinterpret_cast<Win32Tray*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (tray && message == tray->taskbarCreated_) {
    tray->addAgain();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace platform
