// Velostrander_Child on Linux: the agent's behaviour on the Qt backend.
#include "child/Form1.h"
#include "platform/qt/QtPlatform.h"

int main(int argc, char* argv[]) {
  platform::QtPlatform platform(argc, argv);
  child::Program program(platform);
  child::Form1 form(program);
  form.Load();
  return platform.run();
}
