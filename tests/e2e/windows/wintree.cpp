// Reads and drives other programs' windows from inside the same Wine prefix, for the end-to-end
// tests: what a user sees (titles, visibility, places, the texts of controls) as JSON on stdout,
// and what a user or the system does to them.
//
//   wintree run PROGRAM            starts it, prints {"pid":N} and passes its exit code on
//   wintree hold [FILE]            keeps Wine's virtual desktop and its taskbar up, and the file
//                                  open, shared with no one; prints {} and waits to be ended
//   wintree endsession PID         as the system ends a session
//   wintree list [PID [TITLE]]     the top-level windows, of every program with PID 0
//   wintree window HWND [menu]     one window, with menu its window menu's Close item too
//   wintree keys HWND [alt] VK...  posted to it, as typed
//   wintree send HWND MESSAGE WPARAM LPARAM    (as another program sends it)
//   wintree post HWND MESSAGE WPARAM LPARAM [TIMES]    (as another program posts it)
//   wintree menu HWND MENU ITEM    where a menu bar's menu and item stand, as the keyboard counts
//   wintree place HWND [X Y]       there, or else to the top of the windows that are not topmost
//   wintree set CONTROL TEXT       as typed into that text box, or picked from that list
//   wintree workarea               the screen without the task bar, as [x, y, width, height]
//
// Every action but post returns once the program has handled it.
// Exit codes: 0 done, 1 no such window or item, 2 bad usage.
#include <windows.h>

#include <process.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "WindowProbe.h"

namespace {

constexpr UINT kTimeoutMs = 5000;

template <typename T, auto Release>
using Owned = std::unique_ptr<std::remove_pointer_t<T>, decltype(Release)>;
using Handle = Owned<HANDLE, &CloseHandle>;

// --- JSON ----------------------------------------------------------------------------------

// Every character that is not printable ASCII as its UTF-16 escape.
std::string Quote(std::wstring_view text) {
  std::string quoted = "\"";
  for (const wchar_t c : text) {
    char escaped[8];
    wsprintfA(escaped, c < 0x20 || c > 0x7e || c == '"' || c == '\\' ? "\\u%04x" : "%c", c);
    quoted += escaped;
  }
  return quoted + "\"";
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const auto& item : items) joined += (joined.empty() ? "" : ",") + item;
  return "[" + joined + "]";
}

// Its place counted from the window `to` (none: the screen), and its size.
std::string Rect(RECT rect, HWND from, HWND to) {
  MapWindowPoints(from, to, reinterpret_cast<POINT*>(&rect), 2);
  return Join({std::to_string(rect.left), std::to_string(rect.top),
               std::to_string(rect.right - rect.left), std::to_string(rect.bottom - rect.top)});
}

// --- windows -------------------------------------------------------------------------------

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  return {name, static_cast<std::size_t>(GetClassNameW(hwnd, name, 256))};
}

std::wstring TitleOf(HWND hwnd) {
  wchar_t title[512] = {};
  return {title, static_cast<std::size_t>(InternalGetWindowText(hwnd, title, 512))};
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// What a user takes the control for: a label, a button, a text box or a drop-down list (whose
// text is its selection); other controls only hold these.
std::string Kind(HWND control) {
  const std::wstring name = ClassOf(control);
  const auto is = [&name](const wchar_t* kind) { return lstrcmpiW(name.c_str(), kind) == 0; };
  if (is(L"Static")) return "label";
  if (is(L"Button")) return "button";
  if (is(L"Edit")) return "text";
  return is(L"ComboBox") && (GetWindowLongPtrW(control, GWL_STYLE) & 3) == CBS_DROPDOWNLIST ? "list"
                                                                                            : "";
}

// Asks the control itself, as a screen reader would; a hung program yields an empty text. A
// button's access key "&" is only underlined.
std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(Send(control, WM_GETTEXTLENGTH)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      Send(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  if (Kind(control) == "button") std::erase(text, L'&');
  return text;
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

// A window's descendants, or with none the top-level windows; those of the process `pid` unless
// it is 0.
std::vector<HWND> Collect(HWND parent, DWORD pid = 0) {
  std::vector<HWND> windows;
  const auto add = [](HWND hwnd, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
    return TRUE;
  };
  if (parent) {
    EnumChildWindows(parent, add, reinterpret_cast<LPARAM>(&windows));
  } else {
    EnumWindows(add, reinterpret_cast<LPARAM>(&windows));
  }
  std::erase_if(windows, [pid](HWND hwnd) { return pid && ProcessOf(hwnd) != pid; });
  return windows;
}

// --- probing the program's own thread ------------------------------------------------------

// Posts a probe, and returns the hook's answer once the window's thread has taken the probe from
// its queue, so that everything posted to the window before it has been dispatched; none when
// the window's process ended first, or the probe could not be placed. A probe that asks for
// menus goes to the window; a plain one to the thread, as the window may close.
std::optional<std::pair<int, int>> Probe(HWND hwnd, bool menus, WPARAM atoms = 0) {
  DWORD pid = 0;
  const DWORD thread = GetWindowThreadProcessId(hwnd, &pid);
  // The hook lives on the window's thread while the probe is under way.
  const Owned<HMODULE, &FreeLibrary> module(LoadLibraryW(L"wintreehook.dll"), &FreeLibrary);
  const auto proc = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.get(), "ProbeHook")));
  const Owned<HHOOK, &UnhookWindowsHookEx> hook(
      proc ? SetWindowsHookExW(WH_GETMESSAGE, proc, module.get(), thread) : nullptr,
      &UnhookWindowsHookEx);
  const Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid), &CloseHandle);
  MSG answer{};
  PeekMessageW(&answer, nullptr, 0, 0, PM_NOREMOVE);  // the queue the answer comes to
  const auto asker = static_cast<LPARAM>(GetCurrentThreadId());
  if (!hook || !process ||
      !(menus ? PostMessageW(hwnd, wintree::ProbeMessage(), atoms, asker)
              : PostThreadMessageW(thread, wintree::ProbeMessage(), atoms, asker))) {
    return std::nullopt;
  }
  const HANDLE waits[] = {process.get()};
  while (!PeekMessageW(&answer, nullptr, wintree::kAnswer, wintree::kAnswer, PM_REMOVE)) {
    if (MsgWaitForMultipleObjects(1, waits, FALSE, kTimeoutMs, QS_POSTMESSAGE) !=
        WAIT_OBJECT_0 + 1) {
      return std::nullopt;
    }
  }
  return std::pair{static_cast<int>(answer.wParam), static_cast<int>(answer.lParam)};
}

std::string CloseItemJson(HWND hwnd) {
  const auto item = Probe(hwnd, true);
  if (!item || item->first == -1) return "null";
  return "{\"grayed\":" + Bool(item->first & MF_GRAYED) +
         ",\"id\":" + std::to_string(static_cast<UINT>(item->second)) + "}";
}

// --- describing windows --------------------------------------------------------------------

std::string ControlJson(HWND control, HWND top) {
  RECT rect{};
  GetWindowRect(control, &rect);
  return "{\"kind\":\"" + Kind(control) +
         "\",\"hwnd\":" + std::to_string(reinterpret_cast<UINT_PTR>(control)) +
         ",\"text\":" + Quote(TextOf(control)) + ",\"enabled\":" + Bool(IsWindowEnabled(control)) +
         ",\"rect\":" + Rect(rect, nullptr, top) + "}";
}

std::string WindowJson(HWND hwnd, bool menu) {
  RECT client{};
  GetClientRect(hwnd, &client);
  std::vector<std::string> controls;
  for (const HWND control : Collect(hwnd)) {
    if (!Kind(control).empty()) controls.push_back(ControlJson(control, hwnd));
  }
  GUITHREADINFO focus{};
  focus.cbSize = sizeof focus;
  GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &focus);
  // A window has a taskbar button unless it is a tool window or owned by another.
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  const LONG_PTR extended = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  const bool taskbar = (extended & WS_EX_APPWINDOW) ||
                       (!(extended & WS_EX_TOOLWINDOW) && GetWindow(hwnd, GW_OWNER) == nullptr);
  return "{\"hwnd\":" + std::to_string(reinterpret_cast<UINT_PTR>(hwnd)) +
         ",\"title\":" + Quote(TitleOf(hwnd)) + ",\"className\":" + Quote(ClassOf(hwnd)) +
         ",\"pid\":" + std::to_string(ProcessOf(hwnd)) +
         ",\"focus\":" + std::to_string(reinterpret_cast<UINT_PTR>(focus.hwndFocus)) +
         ",\"visible\":" + Bool(IsWindowVisible(hwnd)) + ",\"taskbar\":" + Bool(taskbar) +
         ",\"resizable\":" + Bool(style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) +
         ",\"menuBar\":" + Bool(GetMenu(hwnd) != nullptr) +
         ",\"client\":" + Rect(client, hwnd, nullptr) +
         ",\"closeItem\":" + (menu && (style & WS_SYSMENU) ? CloseItemJson(hwnd) : "null") +
         ",\"controls\":" + Join(controls) + "}";
}

// --- commands ------------------------------------------------------------------------------

using Args = std::vector<std::wstring>;

UINT_PTR Number(const std::wstring& text) {
  return static_cast<UINT_PTR>(wcstoull(text.c_str(), nullptr, 10));
}

int Run(const std::wstring& program) {
  const auto process = reinterpret_cast<HANDLE>(
      _wspawnl(_P_NOWAIT, program.c_str(), (L"\"" + program + L"\"").c_str(), nullptr));
  if (process == INVALID_HANDLE_VALUE) return 1;
  std::printf("{\"pid\":%lu}\n", GetProcessId(process));
  std::fflush(stdout);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  return static_cast<int>(code);
}

void PostKey(HWND hwnd, long key, bool alt) {
  const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const LPARAM data =
      1 | static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16 |
      (alt ? LPARAM{1} << 29 : 0);
  PostMessageW(hwnd, down, static_cast<WPARAM>(key), data);
  PostMessageW(hwnd, down + 1, static_cast<WPARAM>(key), data | LPARAM{1} << 30 | LPARAM{1} << 31);
}

// Typed into a text box, or picked from a list with the list's notification to its window.
bool Set(HWND control, const std::wstring& text) {
  const auto lParam = reinterpret_cast<LPARAM>(text.c_str());
  if (Kind(control) != "list") return Send(control, WM_SETTEXT, 0, lParam) != 0;
  const LRESULT index = Send(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), lParam);
  Send(control, CB_SETCURSEL, static_cast<WPARAM>(index));
  Send(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
       reinterpret_cast<LPARAM>(control));
  return index != CB_ERR;
}

int OnWindow(const Args& args) {
  const auto hwnd = reinterpret_cast<HWND>(Number(args[1]));
  if (!IsWindow(hwnd)) return 1;
  const std::wstring& command = args[0];
  const auto arg = [&args](std::size_t i) { return i < args.size() ? args[i] : std::wstring(); };
  const auto at = [&arg](std::size_t i) { return wcstol(arg(i).c_str(), nullptr, 10); };
  bool done = true;
  if (command == L"window") {
    std::printf("%s\n", WindowJson(hwnd, arg(2) == L"menu").c_str());
    return 0;
  } else if (command == L"post") {
    for (long times = args.size() > 5 ? at(5) : 1; times > 0; --times) {
      if (!PostMessageW(hwnd, static_cast<UINT>(at(2)), static_cast<WPARAM>(at(3)), at(4)))
        return 1;
    }
    return 0;
  } else if (command == L"send") {
    Send(hwnd, static_cast<UINT>(at(2)), static_cast<WPARAM>(at(3)), at(4));
  } else if (command == L"keys") {
    const bool alt = arg(2) == L"alt";
    for (std::size_t i = alt ? 3 : 2; i < args.size(); ++i) PostKey(hwnd, at(i), alt);
  } else if (command == L"menu") {
    // Probed in the program, as the keyboard counts them.
    const ATOM atoms[] = {GlobalAddAtomW(arg(2).c_str()), GlobalAddAtomW(arg(3).c_str())};
    const auto where = Probe(hwnd, true, MAKEWPARAM(atoms[0], atoms[1]));
    for (const ATOM atom : atoms) GlobalDeleteAtom(atom);
    if (!where || where->first < 0 || where->second < 0) return 1;
    std::printf("[%d,%d]\n", where->first, where->second);
    return 0;
  } else if (command == L"place") {
    const UINT keep = args.size() > 3 ? SWP_NOZORDER : SWP_NOMOVE;
    done = SetWindowPos(hwnd, HWND_TOP, at(2), at(3), 0, 0, SWP_NOSIZE | keep);
  } else if (command == L"set") {
    done = Set(hwnd, arg(2));
  } else {
    return 2;
  }
  // What a key or a click posted starts is often posted in turn: it has run once a second probe
  // has come through.
  if (done && Probe(hwnd, false)) Probe(hwnd, false);
  return done ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const Args args(argv + 1, argv + argc);
  const std::wstring command = args.empty() ? L"" : args[0];
  const auto pid = static_cast<DWORD>(args.size() > 1 ? Number(args[1]) : 0);
  if (command == L"run" && args.size() == 2) return Run(args[1]);
  if (command == L"hold") {
    // Wine closes its desktop once no program uses it, and the next program waits for a new
    // one; one that starts as the old one closes may fail.
    GetDesktopWindow();
    // Wine shows its taskbar, and takes its room out of the work area, only while an icon is in
    // its notification area; Windows always has it. An icon with no picture keeps it up.
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                nullptr);
    Shell_NotifyIconW(NIM_ADD, &icon);
    // As a program that keeps a file open without sharing it, which Windows lets no one else
    // open meanwhile.
    if (args.size() == 2 &&
        CreateFileW(args[1].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE) {
      return 1;
    }
    std::printf("{}\n");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
  }
  if (command == L"endsession") {
    // Every window is asked, then every window told.
    const auto windows = Collect(nullptr, pid);
    BOOL agreed = TRUE;
    for (const HWND hwnd : windows) agreed = Send(hwnd, WM_QUERYENDSESSION) && agreed;
    for (const HWND hwnd : windows) Send(hwnd, WM_ENDSESSION, agreed);
    return windows.empty() ? 1 : 0;
  }
  if (command == L"workarea") {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    std::printf("%s\n", Rect(area, nullptr, nullptr).c_str());
    return 0;
  }
  if (command == L"list") {
    std::vector<std::string> windows;
    for (const HWND hwnd : Collect(nullptr, pid)) {
      if (args.size() < 3 || TitleOf(hwnd) == args[2]) windows.push_back(WindowJson(hwnd, false));
    }
    std::printf("%s\n", Join(windows).c_str());
    return 0;
  }
  return args.size() < 2 ? 2 : OnWindow(args);
}
