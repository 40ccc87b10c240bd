// Loaded into the observed program by wintree.exe's message hook.
#include <windows.h>

#include <utility>

#include "WindowProbe.h"

namespace {

// Where `text` stands among the items the keyboard moves over; its index in `index`.
int Find(HMENU menu, const wchar_t* text, int& index) {
  int position = 0;
  for (index = 0; menu && index < GetMenuItemCount(menu); ++index) {
    wchar_t item[128] = {};
    GetMenuStringW(menu, index, item, 128, MF_BYPOSITION);
    if (lstrcmpW(item, text) == 0) return position;
    if (!(GetMenuState(menu, index, MF_BYPOSITION) & MF_SEPARATOR)) ++position;
  }
  return -1;
}

std::pair<int, int> InMenuBar(HWND hwnd, WPARAM atoms) {
  wchar_t menu[256] = {}, item[256] = {};
  GlobalGetAtomNameW(LOWORD(atoms), menu, 256);
  GlobalGetAtomNameW(HIWORD(atoms), item, 256);
  int index = 0;
  const HMENU bar = GetMenu(hwnd);
  const int position = Find(bar, menu, index);
  return {position, position < 0 ? -1 : Find(GetSubMenu(bar, index), item, index)};
}

// Known by its shortcut, whichever command it sends.
std::pair<int, int> CloseItem(HWND hwnd) {
  const HMENU menu = GetSystemMenu(hwnd, FALSE);
  for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    const int length = GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
    if (length >= 6 && lstrcmpW(text + length - 6, L"Alt+F4") == 0) {
      return {static_cast<int>(GetMenuState(menu, i, MF_BYPOSITION)),
              static_cast<int>(GetMenuItemID(menu, i))};
    }
  }
  return {-1, -1};
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM removal, LPARAM data) {
  auto* message = reinterpret_cast<MSG*>(data);
  if (code == HC_ACTION && removal == PM_REMOVE && message->message == wintree::ProbeMessage()) {
    const HWND hwnd = message->hwnd;
    const auto [first, second] = !hwnd                  ? std::pair{0, 0}
                                 : message->wParam != 0 ? InMenuBar(hwnd, message->wParam)
                                                        : CloseItem(hwnd);
    PostThreadMessageW(static_cast<DWORD>(message->lParam), wintree::kAnswer,
                       static_cast<WPARAM>(first), second);
    message->message = WM_NULL;  // the program never sees the probe
  }
  return CallNextHookEx(nullptr, code, removal, data);
}
