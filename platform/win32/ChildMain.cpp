// The agent on Windows: the portable behaviour on the Win32 backend.
#include <windows.h>

#include "child/Form1.h"
#include "platform/win32/Win32Browser.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32InstanceGuard.h"
#include "platform/win32/Win32MessageWindow.h"
#include "platform/win32/Win32Network.h"
#include "platform/win32/Win32Scheduler.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::Win32Desktop desktop(instance);
  platform::Win32InstanceGuard instanceGuard;
  const platform::Win32CodePage codePage;
  platform::Win32MessageWindow messages(instance);
  platform::Win32Network network(messages);
  platform::Win32BrowserFactory browsers;
  platform::Win32Scheduler scheduler(messages);
  child::Program program({desktop, instanceGuard, codePage, network, browsers, scheduler});
  child::Form1 form(program);
  form.Load();
  if (desktop.anyWindowLoaded()) desktop.runEventLoop();
  return 0;
}
