// What only a Windows command-line program needs of its terminal.
#pragma once

#include <string>
#include <vector>

#include "platform/Terminal.h"

namespace platform {

struct AnsiArguments {
  std::vector<std::string> arguments;  // after the program's name
  std::string error;                   // empty when every argument could be converted
};

// The agents read the system's code page, so an argument with a character that has no place in
// it is refused rather than sent with '?' in its place.
AnsiArguments ToAnsiArguments(int argc, wchar_t** argv);

}  // namespace platform
