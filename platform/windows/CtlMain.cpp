#include "ctl/Ctl.h"
#include "platform/windows/Win32Terminal.h"

// The wide command line is the only one that holds every character the user typed.
int wmain(int argc, wchar_t** argv) {
  const platform::AnsiArguments converted = platform::ToAnsiArguments(argc, argv);
  if (!converted.error.empty()) return ctl::BadUsage(converted.error);
  return ctl::Run(converted.arguments);
}
