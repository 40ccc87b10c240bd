// Reads and drives another program's windows from inside the same Wine prefix, for the
// end-to-end tests: what a user sees (titles, visibility, the texts of controls) as UTF-8 JSON
// on stdout, and what a user does (press a button, try to close a window).
//
//   wintree list  [--pid N] [--title T] [--menu]   (--menu: also the items of the window menu)
//   wintree click [--pid N] [--title T] --button TEXT
//   wintree close [--pid N] [--title T] --how altf4|syscommand|wmclose|endsession
//   wintree key   [--pid N] [--title T] --key tab|return|space|escape
//
// Exit codes: 0 done, 1 no matching window (or button), 2 bad usage.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WindowProbe.h"

namespace {

constexpr UINT kReplyTimeoutMs = 5000;
constexpr DWORD kProbeTimeoutMs = 5000;

struct Options {
  std::wstring command;
  std::optional<DWORD> pid;
  std::optional<std::wstring> title;
  bool menu = false;
  std::wstring button;
  std::wstring how;
  std::wstring key;
};

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// --- text and JSON -------------------------------------------------------------------------

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

std::string Quote(std::wstring_view text) {
  std::string quoted = "\"";
  for (const char c : Utf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      char escape[8];
      wsprintfA(escape, "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted += c;
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

// Asks the control itself, as a screen reader would; a hung program yields an empty text.
std::wstring TextOf(HWND control) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kReplyTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

bool Matches(HWND hwnd, const Options& options) {
  return (!options.pid || ProcessOf(hwnd) == *options.pid) &&
         (!options.title || TitleOf(hwnd) == *options.title);
}

std::vector<HWND> Collect(BOOL(WINAPI* enumerate)(WNDENUMPROC, LPARAM)) {
  std::vector<HWND> windows;
  enumerate(
      [](HWND hwnd, LPARAM found) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> TopLevelWindows(const Options& options) {
  std::vector<HWND> matching;
  for (const HWND hwnd : Collect(&EnumWindows)) {
    if (Matches(hwnd, options)) matching.push_back(hwnd);
  }
  return matching;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND hwnd, LPARAM found) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

// --- probing the program's own thread ------------------------------------------------------

std::wstring HookPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring hook = path;
  return hook.substr(0, hook.find_last_of(L"\\/") + 1) + L"wintreehook.dll";
}

// The hook lives on the window's thread while a probe is under way.
class ProbeHook {
 public:
  explicit ProbeHook(DWORD thread) : module_(LoadLibraryW(HookPath().c_str())) {
    const auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "ProbeHook")));
    if (proc) hook_ = SetWindowsHookExW(WH_GETMESSAGE, proc, module_, thread);
  }
  ~ProbeHook() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (module_) FreeLibrary(module_);
  }
  ProbeHook(const ProbeHook&) = delete;
  ProbeHook& operator=(const ProbeHook&) = delete;
  bool placed() const { return hook_ != nullptr; }

 private:
  HMODULE module_;
  HHOOK hook_ = nullptr;
};

LPARAM NextToken() {
  static LPARAM round = 0;
  return static_cast<LPARAM>(GetCurrentProcessId()) * 1000 + ++round;
}

// Returns once the window's thread has taken the probe from its queue, so that everything
// posted to the window before it has been dispatched; false when the window's process ended
// first or the probe could not be placed.
bool RunProbe(HWND hwnd, wintree::Probe kind, LPARAM token) {
  DWORD pid = 0;
  const ProbeHook hook(GetWindowThreadProcessId(hwnd, &pid));
  const Handle ack(CreateEventW(nullptr, TRUE, FALSE, wintree::AckEventName(token).c_str()));
  const Handle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (!hook.placed() || !ack.get() || !process.get()) return false;
  PostMessageW(hwnd, wintree::ProbeMessage(), static_cast<WPARAM>(kind), token);
  const HANDLE waits[] = {ack.get(), process.get()};
  return WaitForMultipleObjects(2, waits, FALSE, kProbeTimeoutMs) == WAIT_OBJECT_0;
}

bool Settle(HWND hwnd) {
  return RunProbe(hwnd, wintree::Probe::Sync, NextToken());
}

std::string MenuItemJson(const wintree::MenuItem& item) {
  return "{\"text\":" + Quote(item.text) + ",\"id\":" + std::to_string(item.id) +
         ",\"grayed\":" + Bool((item.state & MF_GRAYED) != 0) +
         ",\"separator\":" + Bool((item.state & MF_SEPARATOR) != 0) + "}";
}

std::string WindowMenuJson(HWND hwnd) {
  const LPARAM token = NextToken();
  const Handle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(wintree::WindowMenuAnswer),
                                          wintree::AnswerName(token).c_str()));
  if (!mapping.get() || !RunProbe(hwnd, wintree::Probe::WindowMenu, token)) return "null";
  const auto* answer = static_cast<const wintree::WindowMenuAnswer*>(
      MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!answer) return "null";
  std::vector<std::string> items;
  for (int i = 0; i < answer->count; ++i) items.push_back(MenuItemJson(answer->items[i]));
  UnmapViewOfFile(answer);
  return Join(items);
}

// --- describing windows --------------------------------------------------------------------

std::string RectJson(HWND control, HWND top) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
  return "[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
         std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top) +
         "]";
}

std::string ControlJson(HWND control, HWND top) {
  return "{\"class\":" + Quote(ClassOf(control)) + ",\"text\":" + Quote(TextOf(control)) +
         ",\"visible\":" + Bool(IsWindowVisible(control)) + ",\"rect\":" + RectJson(control, top) +
         "}";
}

std::string WindowJson(HWND hwnd, bool menu) {
  RECT client{};
  GetClientRect(hwnd, &client);
  const bool hasMenu = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_SYSMENU) != 0;
  std::vector<std::string> controls;
  for (const HWND control : ChildrenOf(hwnd)) controls.push_back(ControlJson(control, hwnd));
  return "{\"hwnd\":" + std::to_string(reinterpret_cast<UINT_PTR>(hwnd)) +
         ",\"pid\":" + std::to_string(ProcessOf(hwnd)) + ",\"title\":" + Quote(TitleOf(hwnd)) +
         ",\"class\":" + Quote(ClassOf(hwnd)) + ",\"visible\":" + Bool(IsWindowVisible(hwnd)) +
         ",\"owned\":" + Bool(GetWindow(hwnd, GW_OWNER) != nullptr) + ",\"client\":[" +
         std::to_string(client.right) + "," + std::to_string(client.bottom) + "]" +
         ",\"windowMenu\":" + (menu && hasMenu ? WindowMenuJson(hwnd) : "null") +
         ",\"controls\":" + Join(controls) + "}";
}

// --- commands ------------------------------------------------------------------------------

int List(const Options& options) {
  std::vector<std::string> windows;
  for (const HWND hwnd : TopLevelWindows(options))
    windows.push_back(WindowJson(hwnd, options.menu));
  Print("{\"windows\":" + Join(windows) + "}");
  return 0;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

HWND FindButton(const Options& options) {
  for (const HWND top : TopLevelWindows(options)) {
    for (const HWND control : ChildrenOf(top)) {
      if (SameText(ClassOf(control), L"Button") && TextOf(control) == options.button) {
        return control;
      }
    }
  }
  return nullptr;
}

int Click(const Options& options) {
  const HWND button = FindButton(options);
  if (!button) return 1;
  SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kReplyTimeoutMs, nullptr);
  Print("{\"clicked\":true}");
  return 0;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// The keys arrive through the program's own message loop, as typed ones do. The close they
// ask for is posted in turn, so it has run once a second probe has come through.
void PressAltF4(HWND hwnd) {
  constexpr LPARAM kF4 = 1 | (0x3E << 16) | (1 << 29);  // repeat 1, scan code, Alt held
  PostMessageW(hwnd, WM_SYSKEYDOWN, VK_F4, kF4);
  PostMessageW(hwnd, WM_SYSKEYUP, VK_F4, kF4 | (1 << 30) | (LPARAM{1} << 31));
  if (Settle(hwnd)) Settle(hwnd);
}

bool TryClose(HWND hwnd, std::wstring_view how) {
  if (how == L"altf4") {
    PressAltF4(hwnd);
  } else if (how == L"syscommand") {
    Send(hwnd, WM_SYSCOMMAND, SC_CLOSE);
  } else if (how == L"wmclose") {
    Send(hwnd, WM_CLOSE);
  } else if (how == L"endsession") {
    Send(hwnd, WM_ENDSESSION, Send(hwnd, WM_QUERYENDSESSION) ? TRUE : FALSE);
  } else {
    return false;
  }
  return true;
}

int Close(const Options& options) {
  const auto windows = TopLevelWindows(options);
  if (windows.empty()) return 1;
  if (!TryClose(windows.front(), options.how)) return 2;
  Print("{\"windowExists\":" + Bool(IsWindow(windows.front())) + "}");
  return 0;
}

// The keys go to the control that has the keyboard focus in the window's thread, through the
// program's own message loop, as typed ones do.
UINT VirtualKey(std::wstring_view name) {
  if (name == L"tab") return VK_TAB;
  if (name == L"return") return VK_RETURN;
  if (name == L"space") return VK_SPACE;
  if (name == L"escape") return VK_ESCAPE;
  return 0;
}

HWND FocusOf(HWND top) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info);
  return info.hwndFocus ? info.hwndFocus : top;
}

int Key(const Options& options) {
  const auto windows = TopLevelWindows(options);
  const UINT key = VirtualKey(options.key);
  if (windows.empty()) return 1;
  if (!key) return 2;
  const HWND target = FocusOf(windows.front());
  const std::string focus =
      "{\"class\":" + Quote(ClassOf(target)) + ",\"text\":" + Quote(TextOf(target)) + "}";
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, WM_KEYDOWN, key, 1 | scan);
  PostMessageW(target, WM_KEYUP, key, 1 | scan | (1 << 30) | (LPARAM{1} << 31));
  Settle(windows.front());
  Print("{\"focus\":" + focus + ",\"windowExists\":" + Bool(IsWindow(windows.front())) + "}");
  return 0;
}

// --- command line --------------------------------------------------------------------------

std::optional<Options> Parse(int argc, wchar_t** argv) {
  if (argc < 2) return std::nullopt;
  Options options;
  options.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::wstring_view name = argv[i];
    if (name == L"--menu") {
      options.menu = true;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    const wchar_t* value = argv[++i];
    if (name == L"--pid") {
      options.pid = static_cast<DWORD>(wcstoul(value, nullptr, 10));
    } else if (name == L"--title") {
      options.title = value;
    } else if (name == L"--button") {
      options.button = value;
    } else if (name == L"--how") {
      options.how = value;
    } else if (name == L"--key") {
      options.key = value;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const auto options = Parse(argc, argv);
  if (!options) return 2;
  if (options->command == L"list") return List(*options);
  if (options->command == L"click") return Click(*options);
  if (options->command == L"close") return Close(*options);
  if (options->command == L"key") return Key(*options);
  return 2;
}
