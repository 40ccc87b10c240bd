#include "ctl/Roster.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

// The agents as "NUMBER HOST:PORT" a line, or the error, so that one table holds both.
std::string Outcome(std::string_view text) {
  const ParsedRoster roster = ParseRoster(text, "room1.txt");
  if (!roster.error.empty()) return roster.error;
  std::string agents;
  for (const Agent& agent : roster.agents) {
    agents += agent.number + " " + HostPort(agent.destination) + "\n";
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
      {"01 pc01 5001 # teacher\n",
       "room1.txt:1: expected the end of the line after the port, found \"#\""},
      {"01 192.168.0 5001\n",
       "room1.txt:1: expected a host name or dotted IPv4 address, found \"192.168.0\""},
      {"01 pc01:5001 5001\n",
       "room1.txt:1: expected a host name or dotted IPv4 address, found \"pc01:5001\""},
      {"00 pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"00\""},
      {"1 pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"1\""},
      {"001 pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"001\""},
      {"31 pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"31\""},
      {"99 pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"99\""},
      {"ab pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"ab\""},
      {"0x pc01 5001\n", "room1.txt:1: expected a computer number 01-30, found \"0x\""},
      {"01 pc01 0\n", "room1.txt:1: expected a UDP port 1-65535, found \"0\""},
      {"01 pc01 65536\n", "room1.txt:1: expected a UDP port 1-65535, found \"65536\""},
      {"01 pc01 -5\n", "room1.txt:1: expected a UDP port 1-65535, found \"-5\""},
      {"01 pc01 50o1\n", "room1.txt:1: expected a UDP port 1-65535, found \"50o1\""},
      {"01 pc01 5001\r\r\n", "room1.txt:1: expected a UDP port 1-65535, found \"5001\\r\""},
      {"07 pc07 5001\n# again\n07 pc08 5001\n",
       "room1.txt:3: computer number 07 is already on line 1"},
      {"", "room1.txt: lists no agents"},
      {"# nobody yet\r\n\r\n", "room1.txt: lists no agents"},
  };
  for (const auto& [text, outcome] : cases) {
    EXPECT_EQ(Outcome(text), outcome) << ::testing::PrintToString(text);
  }
}

}  // namespace
}  // namespace ctl
