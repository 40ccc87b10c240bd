// The agent on Windows: the portable behaviour on the Win32 backend.
#include <windows.h>

#include "child/Form1.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32InstanceGuard.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::Win32Desktop desktop(instance);
  platform::Win32InstanceGuard instanceGuard;
  const platform::Win32CodePage codePage;
  child::Program program(desktop, instanceGuard, codePage);
  child::Form1 form(program);
  form.Load();
  if (desktop.anyWindowLoaded()) desktop.runEventLoop();
  return 0;
}
