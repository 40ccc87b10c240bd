// What wintree.exe and the hook it places in the observed program share. The hook answers a
// probe message once the program's thread has taken it from its queue: for a probe posted to a
// window it first reads the window's menus into named shared memory (Wine cannot read another
// process's menus), then it acknowledges through a named event.
#pragma once

#include <windows.h>

#include <string>

namespace wintree {

struct MenuItem {
  UINT state;  // GetMenuState flags
  UINT id;     // the command the item sends
  wchar_t text[128];
};

struct Answer {
  // The texts of a menu bar's menu and of its item, and where they stand, as the keyboard
  // counts (separators are passed over); -1 when there is no such one.
  wchar_t wanted[2][128];
  int position[2];
  // The window menu's items.
  int count;
  MenuItem items[32];
};

inline UINT ProbeMessage() {
  return RegisterWindowMessageW(L"wintree.probe");
}

// The event ("ack") or the shared memory ("answer") of one probe.
inline std::wstring Name(const wchar_t* what, LPARAM token) {
  return L"Local\\wintree." + std::wstring(what) + L"." + std::to_wstring(token);
}

}  // namespace wintree
