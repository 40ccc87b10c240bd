#include "windows/WindowsHarness.h"

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

// Dispatches the thread's messages, as an event loop would.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  while (!condition()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
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
