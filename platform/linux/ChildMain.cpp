// Velostrander_Child on Linux: the agent's behaviour on the Qt backend.
#include "child/Program.h"
#include "platform/linux/QtPlatform.h"

int main(int argc, char* argv[]) {
  platform::QtPlatform platform(argc, argv);
  child::Program agent(platform);
  agent.form1.Load();
  return platform.run();
}
