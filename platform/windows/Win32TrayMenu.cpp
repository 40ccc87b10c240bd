#include "platform/windows/Win32TrayMenu.h"

#include <algorithm>

#include "platform/windows/Win32MessageWindow.h"
#include "platform/windows/Win32Text.h"
#include "platform/windows/resource.h"

namespace platform {
namespace {

constexpr wchar_t kClass[] = L"Velostrander.TrayMenu";
constexpr int kIconSize = 32;

}  // namespace

Win32TrayMenu::Win32TrayMenu(HINSTANCE instance)
    : window_(CreateOwnedWindow(instance, kClass, &WindowProc, this, L"Velostrander Console",
                                WS_EX_TOOLWINDOW, WS_POPUP, nullptr)),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
  icon_.cbSize = sizeof icon_;
  icon_.hWnd = window_;
  icon_.uID = 1;
  icon_.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  icon_.uCallbackMessage = kCallback;
  icon_.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                              kIconSize, kIconSize, LR_SHARED));
}

Win32TrayMenu::~Win32TrayMenu() {
  if (shown_) Shell_NotifyIconW(NIM_DELETE, &icon_);
  DestroyOwnedWindow(window_);
}

void Win32TrayMenu::show(const std::string& tip, std::vector<TrayMenuItem> items) {
  items_ = std::move(items);
  const std::wstring text = Utf8ToUtf16(tip);
  const std::size_t length = std::min(text.size(), std::size(icon_.szTip) - 1);
  std::copy_n(text.begin(), length, icon_.szTip);
  icon_.szTip[length] = L'\0';
  shown_ = Shell_NotifyIconW(shown_ ? NIM_MODIFY : NIM_ADD, &icon_) || shown_;
}

// The menu's window must be in front while it is open, or a click elsewhere would not close it.
void Win32TrayMenu::popUp() {
  const HMENU menu = CreatePopupMenu();
  for (std::size_t i = 0; i < items_.size(); ++i) {
    AppendMenuW(menu, MF_STRING, i + 1, Utf8ToUtf16(items_[i].caption).c_str());
  }
  POINT at{};
  GetCursorPos(&at);
  SetForegroundWindow(window_);
  const auto chosen = static_cast<std::size_t>(TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr));
  PostMessageW(window_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  // A copy: the item may end the program, and this menu with it.
  if (chosen > 0 && chosen <= items_.size()) std::function<void()>(items_[chosen - 1].chosen)();
}

LRESULT CALLBACK Win32TrayMenu::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* tray = reinterpret_cast<Win32TrayMenu*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (tray && message == tray->taskbarCreated_ && !tray->items_.empty()) {
    tray->shown_ = Shell_NotifyIconW(NIM_ADD, &tray->icon_);
    return 0;
  }
  if (tray && message == kCallback && lParam == WM_RBUTTONUP) {
    tray->popUp();
    return 0;
  }
  if (tray && message == kCallback && lParam == WM_LBUTTONUP && !tray->items_.empty()) {
    std::function<void()>(tray->items_.front().chosen)();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool OpenInBrowser(const std::string& path) {
  const auto started = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", Utf8ToUtf16(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return started > 32;
}

}  // namespace platform
