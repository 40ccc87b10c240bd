#include <string>
#include <vector>

#include "ctl/Ctl.h"

#ifdef _WIN32
#include "ctl/Console.h"

// The wide command line is the only one that holds every character the user typed.
int wmain(int argc, wchar_t** argv) {
  const ctl::AnsiArguments converted = ctl::ToAnsiArguments(argc, argv);
  if (!converted.error.empty()) return ctl::BadUsage(converted.error);
  return ctl::Run(converted.arguments);
}
#else
int main(int argc, char** argv) {
  // The arguments are already in the locale's charset, which is what the agents read.
  return ctl::Run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
#endif
