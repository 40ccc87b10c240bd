// Loaded into the observed program by wintree.exe's message hook.
#include <windows.h>

#include "WindowProbe.h"

namespace {

void ReadWindowMenu(HWND hwnd, wintree::Answer& answer) {
  const HMENU menu = GetSystemMenu(hwnd, FALSE);
  const int count = menu ? GetMenuItemCount(menu) : 0;
  answer.count = count < 0 ? 0 : count < 32 ? count : 32;
  for (int i = 0; i < answer.count; ++i) {
    wintree::MenuItem& item = answer.items[i];
    item.state = GetMenuState(menu, i, MF_BYPOSITION);
    item.id = GetMenuItemID(menu, i);
    GetMenuStringW(menu, i, item.text, 128, MF_BYPOSITION);
  }
}

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

void FindInMenuBar(HWND hwnd, wintree::Answer& answer) {
  int index = 0;
  const HMENU bar = GetMenu(hwnd);
  answer.position[0] = Find(bar, answer.wanted[0], index);
  answer.position[1] =
      answer.position[0] < 0 ? -1 : Find(GetSubMenu(bar, index), answer.wanted[1], index);
}

void Answer(const MSG& probe) {
  if (const HANDLE mapping =
          OpenFileMappingW(FILE_MAP_WRITE, FALSE, wintree::Name(L"answer", probe.lParam).c_str())) {
    void* view = probe.hwnd ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
    if (view) {
      // Asked for a menu bar's item, or else for the window menu.
      auto& answer = *static_cast<wintree::Answer*>(view);
      if (answer.wanted[0][0])
        FindInMenuBar(probe.hwnd, answer);
      else
        ReadWindowMenu(probe.hwnd, answer);
      UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
  }
  if (const HANDLE ack =
          OpenEventW(EVENT_MODIFY_STATE, FALSE, wintree::Name(L"ack", probe.lParam).c_str())) {
    SetEvent(ack);
    CloseHandle(ack);
  }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM removal, LPARAM data) {
  auto* message = reinterpret_cast<MSG*>(data);
  if (code == HC_ACTION && removal == PM_REMOVE && message->message == wintree::ProbeMessage()) {
    Answer(*message);
    message->message = WM_NULL;  // the program never sees the probe
  }
  return CallNextHookEx(nullptr, code, removal, data);
}
