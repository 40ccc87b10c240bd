#pragma once

#include <windows.h>
// After windows.h, on which it builds.
#include <shellapi.h>

#include <map>

#include "platform/Tray.h"

namespace platform {

// Calls the shell as Shell_NotifyIconA does.
using NotifyFunction = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAA data);

// The notification area through the first version of the shell's ANSI record, which every
// Windows takes. The shell sends the icon's mouse messages to the window as its callback message.
class Win32Tray final : public Tray {
 public:
  explicit Win32Tray(HINSTANCE instance, NotifyFunction notify = &Shell_NotifyIconA);
  ~Win32Tray() override;
  Win32Tray(const Win32Tray&) = delete;
  Win32Tray& operator=(const Win32Tray&) = delete;

  void add(Window& window, const TrayRecord& record) override;
  void remove(const TrayRecord& record) override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  struct Icon {
    NOTIFYICONDATAA data;
    bool shown;
  };

  void addAgain();

  HINSTANCE instance_;
  NotifyFunction notify_;
  // A restarted task bar says so to every top-level window, hidden ones too, but not to
  // message-only ones such as the backend's message window.
  HWND listener_ = nullptr;
  UINT taskbarCreated_;
  std::map<UINT, Icon> icons_;  // by id, as last added
};

}  // namespace platform
