#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "ctl/Address.h"
#include "ctl/Arguments.h"
#include "ctl/Roster.h"
#include "ctl/Shown.h"
#include "ctl/Wire.h"

namespace ctl {
namespace {

using ::testing::PrintToString;

TEST(PortTest, IsDecimal1To65535) {
  const struct {
    std::string text;
    std::optional<std::uint16_t> port;
  } cases[] = {{"1", 1},   {"5001", 5001}, {"65535", 65535},    {"", {}},
               {"0", {}},  {"65536", {}},  {"99999999999", {}}, {"-1", {}},
               {"+1", {}}, {"50 01", {}},  {"0x10", {}},        {"5001a", {}}};
  for (const auto& [text, port] : cases) EXPECT_EQ(ParsePort(text), port) << PrintToString(text);
}

// Dotted addresses must be exact, as the resolver would read "10.1" or "010.0.0.1" as others.
TEST(HostTest, IsANameOrAFourPartDottedAddress) {
  const std::string longest(253, 'a');
  const std::vector<std::string> hosts{
      "teacher-pc",      "pc07.school.local",        "PC_07", "192.168.0.12", "0.0.0.0",
      "255.255.255.255", "\x83\x65\x83\x58\x83\x67", longest};
  const std::vector<std::string> others{
      "1.2.3",  "10.1",   "1.2.3.4.5",    "010.0.0.1", "256.1.1.1",
      "1..2.3", "1.2.3.", "1234.1.1.1",   "",          "-pc07",
      "pc 07",  "pc:07",  "http://pc07/", "pc\r",      longest + "a"};
  for (const std::string& text : hosts) EXPECT_TRUE(IsHost(text)) << PrintToString(text);
  for (const std::string& text : others) EXPECT_FALSE(IsHost(text)) << PrintToString(text);
}

TEST(ShownTest, QuotesTheBytesAndEscapesOnlyControlCharacters) {
  const struct {
    std::string bytes;
    std::string shown;
  } cases[] = {
      {"Command:FullScreen", "\"Command:FullScreen\""},
      {"https://example.jp/\xE6\xA4\x9C\xE7\xB4\xA2",
       "\"https://example.jp/\xE6\xA4\x9C\xE7\xB4\xA2\""},
      {"a\r\n\tb\x01\x1B\x7F", "\"a\\r\\n\\tb\\x01\\x1B\\x7F\""},
      {std::string("\0", 1), "\"\\x00\""},
      // A Shift-JIS character whose second byte is a backslash stays whole, as does one whose
      // first byte is in the C1 range, and any byte that starts no UTF-8 character.
      {"\x95\x5C", "\"\x95\x5C\""},
      {"\x85\x40\x9B", "\"\x85\x40\x9B\""},
      {"\xC2 \xE2\x80", "\"\xC2 \xE2\x80\""},
      // C1 and bidirectional controls as UTF-8 carries them, each range at both ends: a text
      // that a terminal would show as a call from 10.0.0.9, a C1 escape sequence; and their
      // neighbours, which stay.
      {"\xE2\x80\xAE"
       "9.0.0.01  70\xC2\x9B"
       "2J",
       "\"\\xE2\\x80\\xAE9.0.0.01  70\\xC2\\x9B2J\""},
      {"\xC2\x80\xC2\x9F\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9",
       "\"\\xC2\\x80\\xC2\\x9F\\xD8\\x9C\\xE2\\x80\\x8E\\xE2\\x80\\x8F"
       "\\xE2\\x80\\xAA\\xE2\\x81\\xA6\\xE2\\x81\\xA9\""},
      {"\xC2\xA0\xD8\x9B\xE2\x80\x8D\xE2\x80\x90\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       "\"\xC2\xA0\xD8\x9B\xE2\x80\x8D\xE2\x80\x90\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5"
       "\xE2\x81\xAA\""},
  };
  for (const auto& [bytes, shown] : cases) {
    EXPECT_EQ(Shown(bytes), shown) << PrintToString(bytes);
  }
}

// A call is two digits, then "Call" and nothing else.
TEST(ReceiptTest, HasTimeNumberAndSenderOrMarksTheTextAsNotACall) {
  std::tm time{};
  std::istringstream("2026-12-06 22:30:01") >> std::get_time(&time, "%Y-%m-%d %H:%M:%S");
  EXPECT_EQ(ReceiptLine(time, "07Call", "192.168.0.12:50123"),
            "2026-12-06 22:30:01  07  192.168.0.12:50123");
  EXPECT_EQ(ReceiptLine(time, "hello\r\n", "10.0.0.5:4000"),
            "2026-12-06 22:30:01  --  10.0.0.5:4000  not a call: \"hello\\r\\n\"");
  EXPECT_TRUE(IsCall("30Call"));
  for (const std::string text :
       {"Call", "7Call", "007Call", "07call", "07Call\r\n", " 07Call", "AACall", "07Cal", ""}) {
    EXPECT_FALSE(IsCall(text)) << PrintToString(text);
  }
}

// Every field of the outcome in one line, so that one table holds good and bad command lines
// and a field that should be empty shows when it is not.
std::string Outcome(const std::vector<std::string>& arguments) {
  const auto [invocation, error] = ParseArguments(arguments);
  if (!error.empty()) return "error: " + error;
  std::string outcome = "help";
  if (invocation.action == Action::Listen)
    outcome = "listen " + std::to_string(invocation.listenPort);
  if (invocation.action == Action::Send) outcome = "send " + Shown(invocation.text);
  if (invocation.destination) outcome += " to " + HostPort(*invocation.destination);
  if (!invocation.rosterFile.empty()) outcome += " to roster " + invocation.rosterFile;
  return invocation.quiet ? outcome + ", quiet" : outcome;
}

TEST(ArgumentsTest, EachCommandLineHasItsOutcome) {
  const struct {
    std::vector<std::string> arguments;
    std::string outcome;
  } cases[] = {
      {{"fullscreen", "pc07:5001"}, "send \"Command:FullScreen\" to pc07:5001"},
      {{"windowed", "pc07:5001"}, "send \"Command:PartScreen\" to pc07:5001"},
      {{"show", "pc07:5001"}, "send \"Command:VisibleTrue\" to pc07:5001"},
      {{"hide", "pc07:5001"}, "send \"Command:VisibleFalse\" to pc07:5001"},
      {{"send", "pc07:5001", "Command:Other "}, "send \"Command:Other \" to pc07:5001"},
      {{"send", "pc07:5001", ""}, "send \"\" to pc07:5001"},
      {{"open", "pc07:5001", "https://example.jp/?q=a b"},
       "send \"https://example.jp/?q=a b\" to pc07:5001"},
      {{"open"}, "error: open: missing HOST[:PORT]"},
      {{"open", "pc07:5001"}, "error: open: missing URL"},
      {{"show", "pc07:5001", "now"}, "error: show: unexpected argument \"now\""},
      {{"open", "pc07:5001", ""}, "error: open: the URL is empty"},
      {{"open", "pc07:5001", "Command:FullScreen"},
       "error: open: the agent would take a URL starting with \"Command:\" as a command; use "
       "send"},
      // --port serves only hosts written without one.
      {{"--port", "5001", "show", "pc07"}, "send \"Command:VisibleTrue\" to pc07:5001"},
      {{"show", "pc07", "--port=5002"}, "send \"Command:VisibleTrue\" to pc07:5002"},
      {{"--port", "5001", "show", "pc07:6000"}, "send \"Command:VisibleTrue\" to pc07:6000"},
      {{"show", "pc07"}, "error: no port for \"pc07\": write HOST:PORT or give --port"},
      {{"show", "pc07:70000"}, "error: bad port \"70000\" in \"pc07:70000\": expected 1-65535"},
      {{"show", "pc07:"}, "error: bad port \"\" in \"pc07:\": expected 1-65535"},
      {{"show", ":5001"}, "error: \"\" is not a host name or dotted IPv4 address"},
      {{"show", "10.1:5001"}, "error: \"10.1\" is not a host name or dotted IPv4 address"},
      {{"--port", "6000", "show", "192.168.0.7"},
       "send \"Command:VisibleTrue\" to 192.168.0.7:6000"},
      {{"--port", "0", "show", "pc07"}, "error: --port expects a UDP port 1-65535, not \"0\""},
      {{"show", "pc07", "--port"}, "error: --port needs a value"},
      // --roster takes the place of the host.
      {{"--roster", "room1.txt", "open", "https://example.jp/"},
       "send \"https://example.jp/\" to roster room1.txt"},
      {{"--roster", "room1.txt", "hide", "pc07:5001"},
       "error: hide: unexpected argument \"pc07:5001\" (--roster takes the place of HOST)"},
      {{"--roster", "room1.txt", "--port", "5001", "hide"},
       "error: --port does not apply with --roster"},
      {{"--roster=", "hide"}, "error: --roster needs a file name"},
      {{"send", "pc07:5001", "--", "-q"}, "send \"-q\" to pc07:5001"},
      {{"send", "pc07:5001", "-x"}, "error: unknown option \"-x\""},
      {{"-q", "show", "pc07:5001"}, "send \"Command:VisibleTrue\" to pc07:5001, quiet"},
      {{"listen", "5000"}, "listen 5000"},
      {{"listen", "5000", "--quiet"}, "listen 5000, quiet"},
      {{"listen"}, "error: listen: missing PORT"},
      {{"listen", "0"}, "error: listen: expected a UDP port 1-65535, not \"0\""},
      {{"listen", "5000", "5001"}, "error: listen: unexpected argument \"5001\""},
      {{"--port", "5000", "listen", "5000"}, "error: listen takes no --port or --roster"},
      // Help wins over everything after it.
      {{"--help"}, "help"},
      {{"show", "-h", "--bogus"}, "help"},
      {{}, "error: no command given"},
      {{"fullscren", "pc07:5001"}, "error: unknown command \"fullscren\""},
  };
  for (const auto& [arguments, outcome] : cases) {
    EXPECT_EQ(Outcome(arguments), outcome) << PrintToString(arguments);
  }
}

// The agents as "NUMBER HOST:PORT" a line, or the error, so that one table holds both.
std::string RosterOutcome(std::string_view text) {
  const ParsedRoster roster = ParseRoster(text, "room1.txt");
  if (!roster.error.empty()) return roster.error;
  std::string agents;
  for (const Agent& agent : roster.agents) {
    agents += agent.number + " " + HostPort(agent.destination);
    if (agent.desk)
      agents += " @" + std::to_string(agent.desk->column) + "," + std::to_string(agent.desk->row);
    agents += agent.name.empty() ? "\n" : " [" + agent.name + "]\n";
  }
  // What the console writes, the reader gives back whole.
  if (!roster.agents.empty()) {
    const ParsedRoster again = ParseRoster(FormatRoster(roster.agents), "again");
    EXPECT_EQ(again.error, "");
    EXPECT_EQ(again.agents.size(), roster.agents.size());
    for (std::size_t i = 0; i < std::min(again.agents.size(), roster.agents.size()); ++i) {
      const Agent &a = again.agents[i], &b = roster.agents[i];
      EXPECT_TRUE(a.number == b.number && HostPort(a.destination) == HostPort(b.destination) &&
                  a.name == b.name && a.desk == b.desk)
          << a.number;
    }
  }
  return agents;
}

TEST(RosterTest, EachRosterHasItsAgentsOrItsFirstError) {
  const struct {
    std::string text;
    std::string outcome;
  } cases[] = {
      {"# room 1\n\n01 pc01 5001\n  02\tpc02.school.local \t 5002  \n   # spare machine\n"
       "30 192.168.0.30 65535\n",
       "01 pc01:5001\n02 pc02.school.local:5002\n30 192.168.0.30:65535\n"},
      {"# room 1\r\n01 pc01 5001\r\n\r\n02 pc02 5002", "01 pc01:5001\n02 pc02:5002\n"},
      {"\xEF\xBB\xBF"
       "01 pc01 5001\n",
       "01 pc01:5001\n"},
      {"# room 1\n\n01 pc01\n", "room1.txt:3: expected NUMBER HOST PORT, found 2 field(s)"},
      {"01 pc01 5001\r\n31 pc31 5001\r\n",
       "room1.txt:2: expected a computer number 01-30, found \"31\""},
      // The console's fields after the port: a desk, then a name to the end of the line.
      {"01 pc01 5001 @3,12 \xE7\xAA\x93\xE5\x81\xB4 2\t\r\n02 pc02 5002 @99,1\n"
       "03 pc03 5003  front row \n",
       "01 pc01:5001 @3,12 [\xE7\xAA\x93\xE5\x81\xB4 2]\n02 pc02:5002 @99,1\n"
       "03 pc03:5003 [front row]\n"},
      {"01 pc01 5001 # teacher\n",
       "room1.txt:1: expected a name of one line, at most 64 bytes, not starting with '#', found "
       "\"# teacher\""},
      {"01 pc01 5001 @1,1 " + std::string(65, 'n') + "\n",
       "room1.txt:1: expected a name of one line, at most 64 bytes, not starting with '#', found "
       "\"" +
           std::string(65, 'n') + "\""},
      {"01 pc01 5001 a\x01"
       "b\n",
       "room1.txt:1: expected a name of one line, at most 64 bytes, not starting with '#', found "
       "\"a\\x01b\""},
      {"01 pc01 5001 @2,3\n02 pc02 5002 @1,1\n03 pc03 5003 @2,3 x\n",
       "room1.txt:3: desk @2,3 is already computer 01's on line 1"},
      {"01 192.168.0 5001\n",
       "room1.txt:1: expected a host name or dotted IPv4 address, found \"192.168.0\""},
      {"01 pc01 5001\r\r\n", "room1.txt:1: expected a UDP port 1-65535, found \"5001\\r\""},
      {"07 pc07 5001\n# again\n07 pc08 5001\n",
       "room1.txt:3: computer number 07 is already on line 1"},
      {"", "room1.txt: lists no agents"},
      {"# nobody yet\r\n\r\n", "room1.txt: lists no agents"},
  };
  for (const auto& [text, outcome] : cases) {
    EXPECT_EQ(RosterOutcome(text), outcome) << PrintToString(text);
  }
  for (const std::string number : {"00", "1", "001", "31", "99", "ab", "0x"}) {
    EXPECT_EQ(RosterOutcome(number + " pc01 5001\n"),
              "room1.txt:1: expected a computer number 01-30, found \"" + number + "\"");
  }
  for (const std::string desk :
       {"@0,1", "@1,0", "@100,1", "@01,1", "@1", "@1,", "@,1", "@a,1", "@1,2,3", "@"}) {
    EXPECT_EQ(RosterOutcome("01 pc01 5001 " + desk + " name\n"),
              "room1.txt:1: expected a desk @COLUMN,ROW of 1-99 each, found \"" + desk + "\"");
  }
  EXPECT_EQ(ReadRoster("# nobody yet\n", "room1.txt").error, "");
  for (const std::string port : {"0", "65536", "-5", "50o1"}) {
    EXPECT_EQ(RosterOutcome("01 pc01 " + port + "\n"),
              "room1.txt:1: expected a UDP port 1-65535, found \"" + port + "\"");
  }
}

}  // namespace
}  // namespace ctl
