#include "ctl/Roster.h"

#include <algorithm>
#include <map>

#include "ctl/Shown.h"

namespace ctl {
namespace {

constexpr std::string_view kBlanks = " \t";
// Windows Notepad may start a file with it.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// What is known of the lines read so far: the line on which each computer number appeared, and
// each desk's computer and line.
struct Seen {
  std::map<std::string, int> numberLines;
  std::map<Desk, std::pair<std::string, int>> desks;
};

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t end = text.find('\n'); !text.empty(); end = text.find('\n')) {
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

// The next field of `rest`, which loses it; empty at the end of the line.
std::string_view NextField(std::string_view& rest) {
  rest = Trimmed(rest);
  const std::string_view field = rest.substr(0, std::min(rest.find_first_of(kBlanks), rest.size()));
  rest.remove_prefix(field.size());
  return field;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// 1 to 99, without a leading zero.
std::optional<int> ParseDeskPart(std::string_view text) {
  if (text.empty() || text.size() > 2 || text[0] == '0' || !std::ranges::all_of(text, IsDigit)) {
    return std::nullopt;
  }
  return text.size() == 1 ? text[0] - '0' : (text[0] - '0') * 10 + (text[1] - '0');
}

// "@COLUMN,ROW".
std::optional<Desk> ParseDesk(std::string_view field) {
  const std::size_t comma = field.find(',');
  if (!field.starts_with('@') || comma == std::string_view::npos) return std::nullopt;
  const auto column = ParseDeskPart(field.substr(1, comma - 1));
  const auto row = ParseDeskPart(field.substr(comma + 1));
  if (!column || !row) return std::nullopt;
  return Desk{*column, *row};
}

std::string DeskText(const Desk& desk) {
  return "@" + std::to_string(desk.column) + "," + std::to_string(desk.row);
}

std::string Found(std::string_view expected, std::string_view field) {
  return "expected " + std::string(expected) + ", found " + Shown(field);
}

struct ReadAgent {
  Agent agent;
  std::string error;
};

// The agent of a line that is no comment, or what is wrong with it.
ReadAgent ReadFields(std::string_view rest) {
  std::string_view fields[3];
  for (std::size_t index = 0; index < 3; ++index) {
    fields[index] = NextField(rest);
    if (fields[index].empty()) {
      return {{}, "expected NUMBER HOST PORT, found " + std::to_string(index) + " field(s)"};
    }
  }
  if (!IsComputerNumber(fields[0])) return {{}, Found("a computer number 01-30", fields[0])};
  if (!IsHost(fields[1])) return {{}, Found("a host name or dotted IPv4 address", fields[1])};
  const std::optional<std::uint16_t> port = ParsePort(fields[2]);
  if (!port) return {{}, Found("a UDP port 1-65535", fields[2])};
  Agent agent{std::string(fields[0]), {std::string(fields[1]), *port}, {}, {}};
  if (Trimmed(rest).starts_with('@')) {
    const std::string_view desk = NextField(rest);
    agent.desk = ParseDesk(desk);
    if (!agent.desk) return {{}, Found("a desk @COLUMN,ROW of 1-99 each", desk)};
  }
  agent.name = Trimmed(rest);
  if (!agent.name.empty() && !IsPcName(agent.name)) {
    return {{}, Found("a name of one line, at most 64 bytes, not starting with '#'", agent.name)};
  }
  return {std::move(agent), ""};
}

// Adds the line's agent, if it has one; returns what is wrong with the line, or "".
std::string ReadLine(std::string_view line, int lineNumber, Seen& seen,
                     std::vector<Agent>& agents) {
  if (Trimmed(line).empty() || Trimmed(line).starts_with('#')) return "";
  ReadAgent read = ReadFields(line);
  if (!read.error.empty()) return read.error;
  const Agent& agent = read.agent;
  const auto [earlier, isNew] = seen.numberLines.emplace(agent.number, lineNumber);
  if (!isNew) {
    return "computer number " + agent.number + " is already on line " +
           std::to_string(earlier->second);
  }
  if (agent.desk) {
    const auto [taken, isFree] =
        seen.desks.emplace(*agent.desk, std::pair(agent.number, lineNumber));
    if (!isFree) {
      return "desk " + DeskText(*agent.desk) + " is already computer " + taken->second.first +
             "'s on line " + std::to_string(taken->second.second);
    }
  }
  agents.push_back(std::move(read.agent));
  return "";
}

}  // namespace

bool IsComputerNumber(std::string_view text) {
  return text.size() == 2 && IsDigit(text[0]) && IsDigit(text[1]) && text >= "01" && text <= "30";
}

bool IsPcName(std::string_view name) {
  const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
  return !name.empty() && name.size() <= kMaxNameBytes && Trimmed(name) == name &&
         !name.starts_with('#') && !name.starts_with('@') && std::ranges::none_of(name, isControl);
}

ParsedRoster ReadRoster(std::string_view text, std::string_view fileName) {
  if (text.starts_with(kUtf8Mark)) text.remove_prefix(kUtf8Mark.size());
  const std::vector<std::string_view> lines = SplitLines(text);
  Seen seen;
  ParsedRoster roster;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const int lineNumber = static_cast<int>(index) + 1;
    const std::string error = ReadLine(lines[index], lineNumber, seen, roster.agents);
    if (!error.empty()) {
      return {{}, std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + error};
    }
  }
  return roster;
}

ParsedRoster ParseRoster(std::string_view text, std::string_view fileName) {
  ParsedRoster roster = ReadRoster(text, fileName);
  if (roster.error.empty() && roster.agents.empty()) {
    roster.error = std::string(fileName) + ": lists no agents";
  }
  return roster;
}

std::string FormatRoster(const std::vector<Agent>& agents) {
  std::string text =
      "# The classroom's PCs: NUMBER HOST PORT, then the desk @COLUMN,ROW and the name.\n"
      "# Written by Velostrander Console; velostrander-ctl --roster reads it too.\n";
  for (const Agent& agent : agents) {
    text +=
        agent.number + " " + agent.destination.host + " " + std::to_string(agent.destination.port);
    if (agent.desk) text += " " + DeskText(*agent.desk);
    if (!agent.name.empty()) text += " " + agent.name;
    text += "\n";
  }
  return text;
}

}  // namespace ctl
