// Velostrander_Child on Windows: the agent's behaviour on the Win32 backend.
#include "child/Program.h"
#include "platform/windows/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::Win32Platform platform(instance);
  child::Program agent(platform);
  agent.form1.Load();
  return platform.run();
}
