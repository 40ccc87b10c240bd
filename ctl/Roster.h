// The list of a classroom's agents: one agent a line, "NUMBER HOST PORT" separated by blanks or
// tabs; blank lines and lines starting with '#' are comments; lines end with CR LF or LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ctl/Address.h"

namespace ctl {

struct Agent {
  std::string number;  // the computer number, "01" to "30"
  Destination destination;
};

struct ParsedRoster {
  std::vector<Agent> agents;
  std::string error;  // "FILE:LINE: what was expected"; empty when every line was good
};

// fileName only names the file in messages.
ParsedRoster ParseRoster(std::string_view text, std::string_view fileName);

}  // namespace ctl
