// Reads and drives other programs' windows from inside the same Wine prefix, for the end-to-end
// tests: what a user sees (titles, visibility, places, the texts of controls) as UTF-8 JSON on
// stdout, and what a user or the system does to them.
//
//   wintree run PROGRAM        starts it, prints {"pid":N} and passes its exit code on
//   wintree hold               keeps Wine's virtual desktop up until the wineserver ends
//   wintree kill  --pid N
//   wintree list  [--pid N] [--title T] [--hwnd H] [--menu]   (--menu: the window menu too)
//   wintree click --hwnd H --button TEXT
//   wintree key   --hwnd H --key tab|return|space|escape|alt+f4|alt+space
//   wintree close --hwnd H --how "close button"|system     or: --pid N --how endsession
//   wintree menu  --hwnd H --item MENU --item ITEM                    (a menu bar's item)
//   wintree popup --hwnd H --item N   (the open pop-up menu's item N from 0, -1 the last)
//   wintree post  --hwnd H --message M --lparam L   (as another program posts it)
//   wintree raise --hwnd H            (to the top of the windows that are not topmost)
//   wintree move  --hwnd H --x X --y Y
//   wintree settext --hwnd H --control ID --text T     (as typed into that text box)
//   wintree pick  --hwnd H --control ID --text ENTRY   (as the user picks from that list)
//
// Exit codes: 0 done, 1 no such window, button or item, 2 bad usage.
#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WindowProbe.h"

namespace {

constexpr UINT kReplyTimeoutMs = 5000;
constexpr DWORD kProbeTimeoutMs = 5000;

// A command, then `--name value` pairs (--item may come again), the flag --menu, and run's
// program.
struct Options {
  std::wstring command;
  std::map<std::wstring, std::wstring> values;
  std::vector<std::wstring> items;
  bool menu = false;

  std::wstring text(const wchar_t* name) const {
    const auto found = values.find(name);
    return found == values.end() ? L"" : found->second;
  }
  std::optional<UINT_PTR> number(const wchar_t* name) const {
    if (!values.count(name)) return std::nullopt;
    return static_cast<UINT_PTR>(wcstoull(values.at(name).c_str(), nullptr, 10));
  }
};

template <typename T, auto Release>
using Owned = std::unique_ptr<std::remove_pointer_t<T>, decltype(Release)>;
using Handle = Owned<HANDLE, &CloseHandle>;

// --- text and JSON -------------------------------------------------------------------------

std::string Quote(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  std::string utf8(static_cast<std::size_t>(length) * 3, '\0');
  utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(
      CP_UTF8, 0, text.data(), length, utf8.data(), length * 3, nullptr, nullptr)));
  std::string quoted = "\"";
  for (const char c : utf8) {
    if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      wsprintfA(escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
    }
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

std::string Rect(const RECT& rect) {
  return Join({std::to_string(rect.left), std::to_string(rect.top),
               std::to_string(rect.right - rect.left), std::to_string(rect.bottom - rect.top)});
}

void Print(const std::string& json) {
  const std::string line = json + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

// --- finding windows -----------------------------------------------------------------------

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

std::wstring TitleOf(HWND hwnd) {
  wchar_t title[512] = {};
  InternalGetWindowText(hwnd, title, 512);
  return title;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// Asks the control itself, as a screen reader would; a hung program yields an empty text.
std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<std::size_t>(Send(control, WM_GETTEXTLENGTH)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      Send(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

LONG_PTR Style(HWND hwnd, int which = GWL_STYLE) {
  return GetWindowLongPtrW(hwnd, which);
}

std::vector<HWND> Collect(HWND parent) {
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
  return windows;
}

std::vector<HWND> TopLevelWindows(const Options& options) {
  std::vector<HWND> matching;
  for (const HWND hwnd : Collect(nullptr)) {
    const auto pid = options.number(L"--pid");
    const auto handle = options.number(L"--hwnd");
    if ((!pid || ProcessOf(hwnd) == *pid) && (!handle || hwnd == reinterpret_cast<HWND>(*handle)) &&
        (!options.values.count(L"--title") || TitleOf(hwnd) == options.text(L"--title"))) {
      matching.push_back(hwnd);
    }
  }
  return matching;
}

// --- probing the program's own thread ------------------------------------------------------

std::wstring HookPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring hook = path;
  return hook.substr(0, hook.find_last_of(L"\\/") + 1) + L"wintreehook.dll";
}

LPARAM NextToken() {
  static LPARAM round = 0;
  return static_cast<LPARAM>(GetCurrentProcessId()) * 1000 + ++round;
}

// Returns once the window's thread has taken the probe from its queue, so that everything
// posted to the window before it has been dispatched; false when the window's process ended
// first, or the probe could not be placed.
bool RunProbe(HWND hwnd, wintree::Probe kind, LPARAM token) {
  DWORD pid = 0;
  const DWORD thread = GetWindowThreadProcessId(hwnd, &pid);
  // The hook lives on the window's thread while the probe is under way.
  const Owned<HMODULE, &FreeLibrary> module(LoadLibraryW(HookPath().c_str()), &FreeLibrary);
  const auto proc = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.get(), "ProbeHook")));
  const Owned<HHOOK, &UnhookWindowsHookEx> hook(
      proc ? SetWindowsHookExW(WH_GETMESSAGE, proc, module.get(), thread) : nullptr,
      &UnhookWindowsHookEx);
  const Handle ack(CreateEventW(nullptr, TRUE, FALSE, wintree::AckEventName(token).c_str()),
                   &CloseHandle);
  const Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid), &CloseHandle);
  if (!hook || !ack || !process) return false;
  // A menu probe needs its window; a plain one goes to the thread, as the window may close.
  const auto wParam = static_cast<WPARAM>(kind);
  if (!(kind == wintree::Probe::Sync
            ? PostThreadMessageW(thread, wintree::ProbeMessage(), wParam, token)
            : PostMessageW(hwnd, wintree::ProbeMessage(), wParam, token))) {
    return false;
  }
  const HANDLE waits[] = {ack.get(), process.get()};
  return WaitForMultipleObjects(2, waits, FALSE, kProbeTimeoutMs) == WAIT_OBJECT_0;
}

// What a key or a click posted starts is often posted in turn: it has run once a second probe
// has come through.
void Settle(HWND hwnd) {
  if (RunProbe(hwnd, wintree::Probe::Sync, NextToken())) {
    RunProbe(hwnd, wintree::Probe::Sync, NextToken());
  }
}

// The answer of a menu probe, filled in by the hook; `wanted` goes in with the question.
std::optional<wintree::Answer> AskMenus(HWND hwnd, wintree::Probe kind,
                                        const std::vector<std::wstring>& wanted = {}) {
  const LPARAM token = NextToken();
  const Handle mapping(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(wintree::Answer),
                         wintree::AnswerName(token).c_str()),
      &CloseHandle);
  auto* answer =
      mapping ? static_cast<wintree::Answer*>(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0))
              : nullptr;
  if (!answer) return std::nullopt;
  for (std::size_t i = 0; i < wanted.size() && i < 2; ++i) {
    lstrcpynW(answer->wanted[i], wanted[i].c_str(), 128);
  }
  std::optional<wintree::Answer> result;
  if (RunProbe(hwnd, kind, token)) result = *answer;
  UnmapViewOfFile(answer);
  return result;
}

std::string WindowMenuJson(HWND hwnd) {
  const auto answer = AskMenus(hwnd, wintree::Probe::WindowMenu);
  if (!answer) return "null";
  std::vector<std::string> items;
  for (int i = 0; i < answer->count; ++i) {
    const wintree::MenuItem& item = answer->items[i];
    items.push_back("{\"text\":" + Quote(item.text) + ",\"id\":" + std::to_string(item.id) +
                    ",\"grayed\":" + Bool((item.state & MF_GRAYED) != 0) + "}");
  }
  return Join(items);
}

// --- describing windows --------------------------------------------------------------------

// What a user takes the control for: a label, a button, a text box or a drop-down list (whose
// text is its selection); other controls only hold these.
std::string Kind(HWND control) {
  const std::wstring name = ClassOf(control);
  const auto is = [&name](const wchar_t* kind) { return lstrcmpiW(name.c_str(), kind) == 0; };
  if (is(L"Static")) return "label";
  if (is(L"Button")) return "button";
  if (is(L"Edit")) return "text";
  if (is(L"ComboBox") && (Style(control) & 3) == CBS_DROPDOWNLIST) return "list";
  return "";
}

// A button's caption as a user reads it: its access key's "&" is only underlined.
std::wstring ReadText(HWND control) {
  std::wstring text = TextOf(control);
  if (Kind(control) == "button") std::erase(text, L'&');
  return text;
}

std::string ControlJson(HWND control, HWND top) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
  return "{\"kind\":\"" + Kind(control) + "\",\"id\":" + std::to_string(GetDlgCtrlID(control)) +
         ",\"text\":" + Quote(ReadText(control)) +
         ",\"enabled\":" + Bool(IsWindowEnabled(control)) + ",\"rect\":" + Rect(rect) + "}";
}

// A window has a taskbar button unless it is a tool window or owned by another.
bool InTaskbar(HWND hwnd) {
  const LONG_PTR extended = Style(hwnd, GWL_EXSTYLE);
  return (extended & WS_EX_APPWINDOW) ||
         (!(extended & WS_EX_TOOLWINDOW) && GetWindow(hwnd, GW_OWNER) == nullptr);
}

std::string WindowJson(HWND hwnd, bool menu) {
  RECT client{};
  GetClientRect(hwnd, &client);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::vector<std::string> controls;
  for (const HWND control : Collect(hwnd)) {
    if (!Kind(control).empty()) controls.push_back(ControlJson(control, hwnd));
  }
  return "{\"hwnd\":" + std::to_string(reinterpret_cast<UINT_PTR>(hwnd)) +
         ",\"pid\":" + std::to_string(ProcessOf(hwnd)) + ",\"title\":" + Quote(TitleOf(hwnd)) +
         ",\"className\":" + Quote(ClassOf(hwnd)) + ",\"visible\":" + Bool(IsWindowVisible(hwnd)) +
         ",\"taskbar\":" + Bool(InTaskbar(hwnd)) +
         ",\"resizable\":" + Bool(Style(hwnd) & (WS_THICKFRAME | WS_MAXIMIZEBOX)) +
         ",\"menuBar\":" + Bool(GetMenu(hwnd) != nullptr) +
         ",\"client\":" + Rect(client) +
         ",\"windowMenu\":" + (menu && (Style(hwnd) & WS_SYSMENU) ? WindowMenuJson(hwnd) : "null") +
         ",\"controls\":" + Join(controls) + "}";
}

// --- commands ------------------------------------------------------------------------------

int Run(const Options& options) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = L"\"" + options.items.front() + L"\"";
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  Print("{\"pid\":" + std::to_string(process.dwProcessId) + "}");
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

int Kill(const Options& options) {
  const auto pid = static_cast<DWORD>(options.number(L"--pid").value_or(0));
  const Handle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid), &CloseHandle);
  return process && TerminateProcess(process.get(), 1) ? 0 : 1;
}

int List(const Options& options) {
  std::vector<std::string> windows;
  for (const HWND hwnd : TopLevelWindows(options))
    windows.push_back(WindowJson(hwnd, options.menu));
  Print("{\"windows\":" + Join(windows) + "}");
  return 0;
}

int Click(HWND top, const Options& options) {
  for (const HWND control : Collect(top)) {
    if (Kind(control) == "button" && ReadText(control) == options.text(L"--button")) {
      Send(control, BM_CLICK);
      return 0;
    }
  }
  return 1;
}

void PostKey(HWND hwnd, UINT key, bool alt = false) {
  const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const LPARAM data = 1 | static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16 |
                      (alt ? LPARAM{1} << 29 : 0);
  PostMessageW(hwnd, down, key, data);
  PostMessageW(hwnd, down + 1, key, data | LPARAM{1} << 30 | LPARAM{1} << 31);
}

// Keys reach the control that has the keyboard focus in the window's thread, and Alt keys the
// window, through the program's own message loop, as typed ones do.
int Key(HWND top, const Options& options) {
  const struct {
    const wchar_t* name;
    UINT key;
    bool alt;
  } keys[] = {{L"tab", VK_TAB, false},     {L"return", VK_RETURN, false},
              {L"space", VK_SPACE, false}, {L"escape", VK_ESCAPE, false},
              {L"alt+f4", VK_F4, true},    {L"alt+space", VK_SPACE, true}};
  for (const auto& key : keys) {
    if (options.text(L"--key") != key.name) continue;
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &focus);
    PostKey(key.alt || !focus.hwndFocus ? top : focus.hwndFocus, key.key, key.alt);
    return 0;
  }
  return 2;
}

int Close(const Options& options) {
  const auto windows = TopLevelWindows(options);
  if (windows.empty()) return 1;
  const std::wstring how = options.text(L"--how");
  if (how == L"close button") {
    Send(windows.front(), WM_SYSCOMMAND, SC_CLOSE);
  } else if (how == L"system") {
    Send(windows.front(), WM_CLOSE);
  } else if (how == L"endsession") {
    // As the system ends a session: every window is asked, then every window told.
    BOOL agreed = TRUE;
    for (const HWND hwnd : windows) agreed = Send(hwnd, WM_QUERYENDSESSION) && agreed;
    for (const HWND hwnd : windows) Send(hwnd, WM_ENDSESSION, agreed);
  } else {
    return 2;
  }
  return 0;
}

// The keyboard's way through a menu bar, which a hidden window takes as well.
int ChooseMenu(HWND top, const Options& options) {
  const auto answer = AskMenus(top, wintree::Probe::MenuBar, options.items);
  if (options.items.size() != 2 || !answer) return 2;
  if (answer->position[0] < 0 || answer->position[1] < 0) return 1;
  PostMessageW(top, WM_SYSCOMMAND, SC_KEYMENU, 0);
  for (int i = 0; i < answer->position[0]; ++i) PostKey(top, VK_RIGHT);
  for (int i = 0; i <= answer->position[1]; ++i) PostKey(top, VK_DOWN);
  PostKey(top, VK_RETURN);
  return 0;
}

// A pop-up menu takes the keys posted to its own window; Down first selects the first item,
// Up the last.
int ChoosePopup(HWND top, const Options& options) {
  if (options.items.size() != 1) return 2;
  const int item = static_cast<int>(wcstol(options.items.front().c_str(), nullptr, 10));
  const DWORD thread = GetWindowThreadProcessId(top, nullptr);
  for (const HWND popup : Collect(nullptr)) {
    if (ClassOf(popup) != L"#32768" || !IsWindowVisible(popup) ||
        GetWindowThreadProcessId(popup, nullptr) != thread) {
      continue;
    }
    for (int i = 0; i < (item < 0 ? -item : item + 1); ++i) {
      PostKey(popup, item < 0 ? VK_UP : VK_DOWN);
    }
    PostKey(popup, VK_RETURN);
    return 0;
  }
  return 1;
}

int OnWindow(const Options& options) {
  const auto windows = TopLevelWindows(options);
  if (!options.number(L"--hwnd") || windows.empty()) return 1;
  const HWND top = windows.front();
  int result = 2;
  if (options.command == L"click") result = Click(top, options);
  if (options.command == L"key") result = Key(top, options);
  if (options.command == L"menu") result = ChooseMenu(top, options);
  if (options.command == L"popup") result = ChoosePopup(top, options);
  if (options.command == L"raise") {
    result = SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) ? 0 : 1;
  }
  const HWND control = GetDlgItem(top, static_cast<int>(options.number(L"--control").value_or(0)));
  if (options.command == L"settext") {
    result = Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(options.text(L"--text").c_str()))
                 ? 0
                 : 1;
  }
  if (options.command == L"pick") {
    const LRESULT index =
        Send(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
             reinterpret_cast<LPARAM>(options.text(L"--text").c_str()));
    Send(control, CB_SETCURSEL, static_cast<WPARAM>(index));
    Send(top, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE),
         reinterpret_cast<LPARAM>(control));
    result = index == CB_ERR ? 1 : 0;
  }
  if (options.command == L"move") {
    const auto at = [&](const wchar_t* axis) {
      return static_cast<int>(options.number(axis).value_or(0));
    };
    result = SetWindowPos(top, nullptr, at(L"--x"), at(L"--y"), 0, 0, SWP_NOSIZE | SWP_NOZORDER)
                 ? 0
                 : 1;
  }
  if (options.command == L"post") {
    PostMessageW(top, static_cast<UINT>(options.number(L"--message").value_or(0)), 0,
                 static_cast<LPARAM>(options.number(L"--lparam").value_or(0)));
    return 0;
  }
  if (result == 0) Settle(top);
  return result;
}

// --- command line --------------------------------------------------------------------------

std::optional<Options> Parse(int argc, wchar_t** argv) {
  if (argc < 2) return std::nullopt;
  Options options;
  options.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (name == L"--menu") {
      options.menu = true;
    } else if (name.rfind(L"--", 0) != 0) {
      options.items.push_back(name);
    } else if (i + 1 == argc) {
      return std::nullopt;
    } else if (name == L"--item") {
      options.items.push_back(argv[++i]);
    } else {
      options.values[name] = argv[++i];
    }
  }
  return options;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const auto options = Parse(argc, argv);
  if (!options) return 2;
  const std::wstring& command = options->command;
  if (command == L"run") return options->items.size() == 1 ? Run(*options) : 2;
  if (command == L"kill") return Kill(*options);
  if (command == L"hold") {
    // Wine closes its desktop once no program uses it, and the next program waits for a new
    // one; one that starts as the old one closes may fail.
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
  }
  if (command == L"list") return List(*options);
  if (command == L"close") return Close(*options);
  return OnWindow(*options);
}
