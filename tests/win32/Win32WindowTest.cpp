#include "platform/win32/Win32Desktop.h"
#include "win32/Win32Harness.h"

// Windows sends WM_ENDSESSION from another thread, and COM's modal loop hands it on in the
// middle of any call into the browser: the unload must not run inside the sender's call.
SELFCHECK_TEST(TheSystemsCloseRunsFromTheWindowsOwnQueue) {
  platform::Win32Desktop desktop(GetModuleHandleW(nullptr));
  platform::FormSpec declaration;
  declaration.caption = "Velostrander end of session";
  bool closed = false;
  declaration.onClose = [&] { closed = true; };
  const auto window = desktop.createWindow(declaration);
  const HWND frame = FindWindowW(nullptr, L"Velostrander end of session");
  CHECK(frame != nullptr);
  SendMessageW(frame, WM_ENDSESSION, TRUE, 0);
  CHECK(!closed);
  CHECK(harness::PumpUntil([&] { return closed; }));
}
