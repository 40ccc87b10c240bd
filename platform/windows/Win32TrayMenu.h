#pragma once

#include <windows.h>
// After windows.h, on which it builds.
#include <shellapi.h>

#include "platform/TrayMenu.h"

namespace platform {

// The program's icon through Shell_NotifyIconW, on a hidden window of its own: a restarted task
// bar says so (TaskbarCreated) to top-level windows only, not to the message window.
class Win32TrayMenu final : public TrayMenu {
 public:
  // The icon's callback message: the mouse message comes in lParam.
  static constexpr UINT kCallback = WM_APP + 1;

  explicit Win32TrayMenu(HINSTANCE instance);
  ~Win32TrayMenu() override;
  Win32TrayMenu(const Win32TrayMenu&) = delete;
  Win32TrayMenu& operator=(const Win32TrayMenu&) = delete;

  void show(const std::string& tip, std::vector<TrayMenuItem> items) override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void popUp();

  HWND window_ = nullptr;
  UINT taskbarCreated_;
  NOTIFYICONDATAW icon_{};
  bool shown_ = false;
  std::vector<TrayMenuItem> items_;
};

}  // namespace platform
