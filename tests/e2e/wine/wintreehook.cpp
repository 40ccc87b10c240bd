// Loaded into the observed program by wintree.exe's message hook.
#include <windows.h>

#include "WindowProbe.h"

namespace {

void ReadWindowMenu(HWND hwnd, wintree::WindowMenuAnswer& answer) {
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

void WriteWindowMenu(HWND hwnd, LPARAM token) {
  const HANDLE mapping =
      OpenFileMappingW(FILE_MAP_WRITE, FALSE, wintree::AnswerName(token).c_str());
  if (!mapping) return;
  if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) {
    ReadWindowMenu(hwnd, *static_cast<wintree::WindowMenuAnswer*>(view));
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
}

void Answer(const MSG& probe) {
  if (static_cast<wintree::Probe>(probe.wParam) == wintree::Probe::WindowMenu) {
    WriteWindowMenu(probe.hwnd, probe.lParam);
  }
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
