// What wintree.exe and the hook it places in the observed program share. The hook answers a
// probe message posted to a window: for a menu probe it first reads the window's menus into
// named shared memory (Wine cannot read another process's menus), then it acknowledges through
// a named event, once the program's thread has taken the probe from its queue.
#pragma once

#include <windows.h>

#include <string>

namespace wintree {

enum class Probe : WPARAM { Sync = 0, WindowMenu = 1, MenuBar = 2 };

struct MenuItem {
  UINT state;  // GetMenuState flags
  UINT id;     // the command the item sends
  wchar_t text[128];
};

struct Answer {
  // MenuBar: the texts of a menu and of its item, and where they stand, as the keyboard counts
  // (separators are passed over); -1 when there is no such one.
  wchar_t wanted[2][128];
  int position[2];
  // WindowMenu: its items.
  int count;
  MenuItem items[32];
};

inline UINT ProbeMessage() { return RegisterWindowMessageW(L"wintree.probe"); }

// The event ("ack") or the shared memory ("answer") of one probe.
inline std::wstring Name(const wchar_t* what, LPARAM token) {
  return L"Local\\wintree." + std::wstring(what) + L"." + std::to_wstring(token);
}

}  // namespace wintree
