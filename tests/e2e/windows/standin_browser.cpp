// A stand-in for Edge under Wine, where no Chromium-family browser runs: registered where the agent
// looks for Edge, it takes the DevTools pipe as Chromium does (--remote-debugging-io-pipes=R,W,
// handles it reads requests from and writes to, each message ended by a NUL byte) and answers
// each request with what Debian's chromium answered to the same method in a recorded run: the
// recorded answer with the request's id and session, and the events that followed it. It shows
// a window, titled after the page it fetches from the test's web server, and applies full screen
// to it; its pipe closing ends it, as it ends Chromium.
//
// Environment: VELO_DEVTOOLS_RECORDING, the recording (record_devtools.py writes it);
// VELO_STANDIN_LOG, where it appends, one a line: "handles R,W", "inherited H...", every handle
// it was started with that a child could pass on, then each message received, as received.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>

namespace {

using nlohmann::json;

constexpr UINT kMessage = WM_APP + 1;  // a request read from the pipe; lParam: a new std::string
// A page fetched; wParam: its navigation's number, lParam: a new Fetched.
constexpr UINT kFetched = WM_APP + 2;
constexpr wchar_t kClass[] = L"Velostrander.StandInBrowser";

HANDLE requests = INVALID_HANDLE_VALUE, answers = INVALID_HANDLE_VALUE;
HWND window;
json recording;
std::map<std::string, size_t> asked;  // how many times each method came
RECT normal;                          // the window's place before full screen
WPARAM navigations = 0;               // how many Page.navigate came

struct Fetched {
  json request;
  std::string title;
};

void Log(const std::string& line) {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA("VELO_STANDIN_LOG", path, MAX_PATH)) return;
  std::ofstream(path, std::ios::app | std::ios::binary) << line << "\n";
}

std::wstring Wide(const std::string& utf8) {
  std::wstring text(utf8.size(), L'\0');
  text.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                  text.data(), static_cast<int>(text.size())));
  return text;
}

// The handles a child could inherit from this process at its start: those the agent passed on,
// beside the standard ones that every program is given.
std::string Inherited() {
  std::string list;
  const HANDLE standard[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                             GetStdHandle(STD_ERROR_HANDLE)};
  for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
    const auto handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) &&
        std::find(std::begin(standard), std::end(standard), handle) == std::end(standard)) {
      list += " " + std::to_string(value);
    }
  }
  return list;
}

// The page from the loopback web server, so that the test's server sees it requested; its title.
std::string FetchTitle(const std::string& url) {
  std::string page;
  if (std::regex_match(url, std::regex(R"(http://(127\.0\.0\.1|localhost):\d+(/.*)?)"))) {
    const HINTERNET session =
        InternetOpenA("standin", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const HINTERNET request =
        InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    char buffer[4096];
    for (DWORD got = 0; request && InternetReadFile(request, buffer, sizeof buffer, &got) && got;)
      page.append(buffer, got);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
  }
  std::smatch title;
  return std::regex_search(page, title, std::regex("<title>([^<]*)</title>")) ? title[1].str()
                                                                              : url;
}

void Write(const json& message) {
  const std::string bytes = message.dump() + '\0';
  DWORD written = 0;
  WriteFile(answers, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// What a request does to the window, where a test can see it.
void Apply(const json& request) {
  const std::string method = request.value("method", "");
  const json params = request.value("params", json::object());
  if (method == "Browser.setWindowBounds") {
    const std::string state = params.value("bounds", json::object()).value("windowState", "");
    if (state == "fullscreen") {
      GetWindowRect(window, &normal);
      SetWindowLongPtrW(window, GWL_STYLE, WS_POPUP | WS_VISIBLE);
      SetWindowPos(window, HWND_TOP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                   GetSystemMetrics(SM_CYSCREEN), SWP_FRAMECHANGED);
    } else if (state == "normal" && GetWindowLongPtrW(window, GWL_STYLE) & WS_POPUP) {
      SetWindowLongPtrW(window, GWL_STYLE, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
      SetWindowPos(window, nullptr, normal.left, normal.top, normal.right - normal.left,
                   normal.bottom - normal.top, SWP_FRAMECHANGED | SWP_NOZORDER);
    }
  }
}

// The n-th request of a method gets the n-th recorded exchange of it (the last one again once
// they run out): the browser's messages from the recorded request on, in their order, until the
// next request and the request's answer have passed; of the answers, its own only.
void Reply(const json& request) {
  const std::string method = request.value("method", "");
  const json& transcript = recording["transcript"];
  size_t at = transcript.size(), seen = 0;
  for (size_t i = 0; i < transcript.size() && seen <= asked[method]; ++i) {
    if (transcript[i].contains("sent") && transcript[i]["sent"].value("method", "") == method)
      at = i, ++seen;
  }
  if (at == transcript.size()) return Log("unrecorded " + method);
  ++asked[method];
  const json id = transcript[at]["sent"]["id"];
  bool answered = false;
  for (size_t i = at + 1; i < transcript.size() && !(answered && transcript[i].contains("sent"));
       ++i) {
    json message = transcript[i].value("received", json());
    const bool ours = message.contains("id") && message["id"] == id;
    if (message.is_null() || (message.contains("id") && !ours)) continue;
    if (ours) message["id"] = request["id"];
    answered = answered || ours;
    if (request.contains("sessionId") && message.contains("sessionId"))
      message["sessionId"] = request["sessionId"];
    Write(message);
  }
}

// A page is fetched, and its navigation answered, in a thread of its own, as Chromium does not
// stop for a page that does not come; a navigation that a later one superseded is not answered.
void Answer(const std::string& text) {
  Log(text);
  const json request = json::parse(text, nullptr, false);
  if (request.is_discarded()) return;
  if (request.value("method", "") != "Page.navigate") {
    Apply(request);
    return Reply(request);
  }
  std::thread([request, number = ++navigations] {
    const std::string url = request.value("params", json::object()).value("url", "");
    PostMessageW(window, kFetched, number,
                 reinterpret_cast<LPARAM>(new Fetched{request, FetchTitle(url)}));
  }).detach();
}

// Blocking reads, as Chromium's own: each message goes to the window's thread.
void ReadRequests() {
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(requests, buffer, sizeof buffer, &got, nullptr) && got) {
    pending.append(buffer, got);
    for (size_t end; (end = pending.find('\0')) != std::string::npos; pending.erase(0, end + 1))
      PostMessageW(window, kMessage, 0,
                   reinterpret_cast<LPARAM>(new std::string(pending.substr(0, end))));
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMessage) {
    const std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
    Answer(*text);
    return 0;
  }
  if (message == kFetched) {
    const std::unique_ptr<Fetched> fetched(reinterpret_cast<Fetched*>(lParam));
    if (wParam != navigations) return 0;
    SetWindowTextW(window, Wide(fetched->title).c_str());
    Reply(fetched->request);
    return 0;
  }
  if (message == WM_DESTROY) ExitProcess(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
  Log("inherited" + Inherited());
  std::wcmatch pipes;
  std::wregex argument(LR"(--remote-debugging-io-pipes=(\d+),(\d+))");
  if (!std::regex_search(commandLine, pipes, argument)) return 2;
  Log("handles " + std::to_string(std::stoul(pipes[1])) + "," +
      std::to_string(std::stoul(pipes[2])));
  requests = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::stoul(pipes[1])));
  answers = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::stoul(pipes[2])));
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("VELO_DEVTOOLS_RECORDING", path, MAX_PATH))
    recording = json::parse(std::ifstream(path), nullptr, false);
  if (!recording.is_object()) recording = {{"transcript", json::array()}};

  const WNDCLASSW windowClass{
      0,        &WindowProc, 0,       0,
      instance, nullptr,     nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
      nullptr,  kClass};
  RegisterClassW(&windowClass);
  window = CreateWindowExW(0, kClass, L"about:blank", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  std::thread(ReadRequests).detach();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
