#include <string>
#include <vector>

#include "ctl/Ctl.h"

int main(int argc, char** argv) {
  // The arguments are already in the locale's charset, which is what the agents read.
  return ctl::Run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
