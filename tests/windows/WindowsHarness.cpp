#include "windows/WindowsHarness.h"

#include <algorithm>
#include <stdexcept>

#include "platform/windows/Win32CodePage.h"
#include "platform/windows/Win32DatagramPort.h"
#include "platform/windows/Win32Files.h"
#include "platform/windows/Win32HttpServer.h"
#include "platform/windows/Win32Scheduler.h"
#include "platform/windows/Win32Text.h"

namespace win32test {

Backend& TheBackend() {
  static Backend backend;
  return backend;
}

}  // namespace win32test

namespace harness {

// Dispatches the thread's messages, and runs what the desktop's handles call for, as the event
// loop does; looks again at least every 20 ms, for what another process does.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  while (!condition()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    win32test::TheBackend().desktop.waits().wait(
        static_cast<DWORD>(std::min(deadline - now, 20ULL)));
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

platform::Resolver& TheResolver() {
  return win32test::TheBackend().resolver;
}

std::unique_ptr<platform::UdpEndpoint> NewEndpoint(std::function<void()> onArrival) {
  return win32test::TheBackend().network.createUdpEndpoint(std::move(onArrival));
}

std::unique_ptr<platform::DatagramPort> NewDatagramPort() {
  return std::make_unique<platform::Win32DatagramPort>(win32test::TheBackend().window);
}

std::unique_ptr<platform::HttpServer> NewHttpServer() {
  return std::make_unique<platform::Win32HttpServer>(win32test::TheBackend().window);
}

// http.sys holds the URLs of every process: the second to add one is told it is there.
std::string RefusalOfATakenPort() {
  return platform::DescribeSystemError(ERROR_ALREADY_EXISTS);
}

void RunLater(std::chrono::milliseconds delay, std::function<void()> task) {
  static platform::Win32Scheduler scheduler(win32test::TheBackend().window);
  scheduler.runLater(delay, std::move(task));
}

// PumpUntil looks again every 20 ms of itself.
void Wake() {}

platform::Files& TheFiles() {
  static platform::Win32Files files;
  return files;
}

// The system's own: the Wine prefix's locale is Japanese.
const platform::CodePage& JapaneseCodePage() {
  if (GetACP() != 932) throw std::runtime_error("the system's code page is not 932");
  static const platform::Win32CodePage codePage;
  return codePage;
}

std::string RefusalOfAFolder() {
  return platform::DescribeSystemError(ERROR_ACCESS_DENIED);
}

// Made by ln, a Unix program, which Wine starts as it starts any but tells nothing of its end.
void PlantSymlink(const fs::path& link, const fs::path& target) {
  const auto unixName = reinterpret_cast<char*(CDECL*)(const wchar_t*)>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  std::wstring command = L"/bin/ln -s " + platform::Utf8ToUtf16(unixName(target.c_str())) + L" " +
                         platform::Utf8ToUtf16(unixName(link.c_str()));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION ln{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &ln) ||
      !PumpUntil([&] { return fs::exists(link); })) {
    throw std::runtime_error("no link made");
  }
}

std::shared_ptr<void> HoldAsASave(const fs::path& file) {
  const HANDLE held = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) throw std::runtime_error("not held");
  return {held, CloseHandle};
}

}  // namespace harness
