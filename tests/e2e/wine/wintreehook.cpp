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
  for (index = 0; index < GetMenuItemCount(menu); ++index) {
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
  answer.position[0] = bar ? Find(bar, answer.wanted[0], index) : -1;
  const HMENU menu = answer.position[0] < 0 ? nullptr : GetSubMenu(bar, index);
  answer.position[1] = menu ? Find(menu, answer.wanted[1], index) : -1;
}

void WriteAnswer(const MSG& probe) {
  const HANDLE mapping =
      OpenFileMappingW(FILE_MAP_WRITE, FALSE, wintree::AnswerName(probe.lParam).c_str());
  if (!mapping) return;
  if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
    auto& answer = *static_cast<wintree::Answer*>(view);
    if (static_cast<wintree::Probe>(probe.wParam) == wintree::Probe::WindowMenu) {
      ReadWindowMenu(probe.hwnd, answer);
    } else {
      FindInMenuBar(probe.hwnd, answer);
    }
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
}

void Answer(const MSG& probe) {
  if (static_cast<wintree::Probe>(probe.wParam) != wintree::Probe::Sync) WriteAnswer(probe);
  const HANDLE ack =
      OpenEventW(EVENT_MODIFY_STATE, FALSE, wintree::AckEventName(probe.lParam).c_str());
  if (!ack) return;
  SetEvent(ack);
  CloseHandle(ack);
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
