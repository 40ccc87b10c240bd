#include "windows/WindowsHarness.h"

#include <algorithm>
#include <stdexcept>

#include "platform/windows/Win32CodePage.h"
#include "platform/windows/Win32Files.h"
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

}  // namespace harness
