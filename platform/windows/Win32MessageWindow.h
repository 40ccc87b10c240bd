#pragma once

#include <windows.h>

#include <functional>
#include <map>

namespace platform {

// A hidden window of the class `name`, registered here for `procedure`, which finds `owner`
// through GWLP_USERDATA; with HWND_MESSAGE for `parent`, one that only takes messages.
HWND CreateOwnedWindow(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, void* owner,
                       const wchar_t* title, DWORD exStyle, DWORD style, HWND parent);
// Its owner is forgotten first, so that no message the window gets as it goes reaches it.
void DestroyOwnedWindow(HWND window);

// The backend's hidden, message-only window: sockets and timers report to it, so their events
// run on the UI thread from the event loop, like a user's.
class Win32MessageWindow {
 public:
  using Handler = std::function<void(WPARAM wParam, LPARAM lParam)>;

  explicit Win32MessageWindow(HINSTANCE instance);
  ~Win32MessageWindow();
  Win32MessageWindow(const Win32MessageWindow&) = delete;
  Win32MessageWindow& operator=(const Win32MessageWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // A message number that no one else has had in this run, so that a notification still queued
  // for a handler that is gone reaches no other one.
  UINT newMessage();
  void setHandler(UINT message, Handler handler);
  void removeHandler(UINT message);

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  bool dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  UINT nextMessage_ = WM_APP;
  std::map<UINT, Handler> handlers_;
};

}  // namespace platform
