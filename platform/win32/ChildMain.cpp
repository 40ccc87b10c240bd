// Velostrander_Child on Windows: the agent's behaviour on the Win32 backend.
#include "child/Form1.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::Win32Platform platform(instance);
  child::Program program(platform);
  child::Form1 form(program);
  form.Load();
  return platform.run();
}
