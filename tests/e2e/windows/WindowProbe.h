// What wintree.exe and the hook it places in the observed program share. The hook answers a
// probe message once the program's thread has taken it from its queue: it posts its answer, two
// numbers, to the asking thread, whose id is the probe's lParam. A probe posted to a window asks
// for its menus, which Wine cannot read from another process: with the global atoms of a menu
// bar's menu and item texts in wParam, where they stand, as the keyboard counts (separators are
// passed over; -1 for none); else the state and the command of the window menu's Close item.
#pragma once

#include <windows.h>

namespace wintree {

constexpr UINT kAnswer = WM_APP + 1;

inline UINT ProbeMessage() {
  return RegisterWindowMessageW(L"wintree.probe");
}

}  // namespace wintree
