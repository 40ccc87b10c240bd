// Velostrander_Child_Tool on Windows: the settings tool's behaviour on the Win32 backend.
#include "platform/windows/Win32Platform.h"
#include "tool/Program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::Win32Platform platform(instance);
  tool::Program tool(platform);
  tool.form1.Load();
  return platform.run();
}
