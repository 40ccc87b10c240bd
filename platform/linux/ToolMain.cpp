// Velostrander_Child_Tool on Linux: the settings tool's behaviour on the Qt backend.
#include "platform/linux/QtPlatform.h"
#include "tool/Program.h"

int main(int argc, char* argv[]) {
  platform::QtPlatform platform(argc, argv);
  tool::Program tool(platform);
  tool.form1.Load();
  return platform.run();
}
