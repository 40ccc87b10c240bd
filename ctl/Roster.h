// The list of a classroom's agents: one agent a line, "NUMBER HOST PORT", then optionally the
// desk the PC stands at, "@COLUMN,ROW", and its name, the rest of the line; fields separated by
// blanks or tabs; blank lines and lines starting with '#' are comments; lines end with CR LF or
// LF. velostrander-ctl reads only the first three fields; the console reads and writes them all.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ctl/Address.h"

namespace ctl {

inline constexpr int kMaxDesk = 99;  // columns and rows both count from 1
inline constexpr std::size_t kMaxNameBytes = 64;

struct Desk {
  int column = 1;
  int row = 1;
  auto operator<=>(const Desk&) const = default;
};

struct Agent {
  std::string number;  // the computer number, "01" to "30"
  Destination destination;
  std::string name;          // what the teacher calls the PC; may be empty
  std::optional<Desk> desk;  // none until the teacher places it
};

struct ParsedRoster {
  std::vector<Agent> agents;
  std::string error;  // "FILE:LINE: what was expected"; empty when every line was good
};

bool IsComputerNumber(std::string_view text);
// A name is one line of text that a reader cannot take for a comment or a desk: no control
// characters, no blank at either end, not starting with '#' or '@', at most kMaxNameBytes.
bool IsPcName(std::string_view name);

// A roster that lists no agents is an error, as a command sent to nobody is a mistake.
// fileName only names the file in messages.
ParsedRoster ParseRoster(std::string_view text, std::string_view fileName);
// The same, but a roster may list nobody: a room that has no PCs yet.
ParsedRoster ReadRoster(std::string_view text, std::string_view fileName);

// The roster's text, LF line ends, the agents in the order given; ReadRoster gives them back.
// The agents must be valid: numbers, hosts, names and desks as the reader takes them, none twice.
std::string FormatRoster(const std::vector<Agent>& agents);

}  // namespace ctl
