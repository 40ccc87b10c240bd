#include "ctl/Roster.h"

#include <algorithm>
#include <map>

#include "ctl/Shown.h"

namespace ctl {
namespace {

constexpr std::string_view kBlanks = " \t";
// Windows Notepad may start a file with it.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// What is known of the lines read so far: the line on which each computer number appeared.
using NumberLines = std::map<std::string, int>;

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

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = line.find_first_not_of(kBlanks); start != std::string_view::npos;
       start = line.find_first_not_of(kBlanks, start)) {
    const std::size_t end = std::min(line.find_first_of(kBlanks, start), line.size());
    fields.push_back(line.substr(start, end - start));
    start = end;
  }
  return fields;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsComputerNumber(std::string_view text) {
  return text.size() == 2 && IsDigit(text[0]) && IsDigit(text[1]) && text >= "01" && text <= "30";
}

std::string Found(std::string_view expected, std::string_view field) {
  return "expected " + std::string(expected) + ", found " + Shown(field);
}

// Returns what is wrong with the fields of an agent's line, or "".
std::string CheckFields(const std::vector<std::string_view>& fields) {
  if (fields.size() < 3) {
    return "expected NUMBER HOST PORT, found " + std::to_string(fields.size()) + " field(s)";
  }
  if (!IsComputerNumber(fields[0])) return Found("a computer number 01-30", fields[0]);
  if (!IsHost(fields[1])) return Found("a host name or dotted IPv4 address", fields[1]);
  if (!ParsePort(fields[2])) return Found("a UDP port 1-65535", fields[2]);
  if (fields.size() > 3) return Found("the end of the line after the port", fields[3]);
  return "";
}

// Adds the line's agent, if it has one; returns what is wrong with the line, or "".
std::string ReadLine(std::string_view line, int lineNumber, NumberLines& numberLines,
                     std::vector<Agent>& agents) {
  const std::vector<std::string_view> fields = SplitFields(line);
  if (fields.empty() || fields.front().starts_with('#')) return "";
  if (std::string error = CheckFields(fields); !error.empty()) return error;
  const std::string number(fields[0]);
  const auto [earlier, isNew] = numberLines.emplace(number, lineNumber);
  if (!isNew) {
    return "computer number " + number + " is already on line " + std::to_string(earlier->second);
  }
  agents.push_back({number, {std::string(fields[1]), *ParsePort(fields[2])}});
  return "";
}

}  // namespace

ParsedRoster ParseRoster(std::string_view text, std::string_view fileName) {
  if (text.starts_with(kUtf8Mark)) text.remove_prefix(kUtf8Mark.size());
  const std::vector<std::string_view> lines = SplitLines(text);
  NumberLines numberLines;
  ParsedRoster roster;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const int lineNumber = static_cast<int>(index) + 1;
    const std::string error = ReadLine(lines[index], lineNumber, numberLines, roster.agents);
    if (!error.empty()) {
      return {{}, std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + error};
    }
  }
  if (roster.agents.empty()) roster.error = std::string(fileName) + ": lists no agents";
  return roster;
}

}  // namespace ctl
