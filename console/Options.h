// The console's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/Console.h"

namespace console {

struct Options {
  std::uint16_t port = 0;  // the page's; 0: one the system picks
  std::uint16_t callPort = kDefaultCallPort;
};

struct ParsedOptions {
  Options options;
  std::string error;  // one line, empty when the arguments were good
};

// "--port N" and "--call-port N"; the last of each counts.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

}  // namespace console
