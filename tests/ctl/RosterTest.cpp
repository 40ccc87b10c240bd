#include "ctl/Roster.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

std::string Error(std::string_view text) {
  return ParseRoster(text, "room1.txt").error;
}

TEST(RosterTest, ReadsOneAgentALine) {
  const ParsedRoster roster = ParseRoster(
      "# room 1\n"
      "\n"
      "01 pc01 5001\n"
      "  02\tpc02.school.local \t 5002  \n"
      "   # spare machine\n"
      "30 192.168.0.30 65535\n",
      "room1.txt");
  ASSERT_EQ(roster.error, "");
  ASSERT_EQ(roster.agents.size(), 3U);
  EXPECT_EQ(roster.agents[0].number, "01");
  EXPECT_EQ(HostPort(roster.agents[0].destination), "pc01:5001");
  EXPECT_EQ(roster.agents[1].number, "02");
  EXPECT_EQ(HostPort(roster.agents[1].destination), "pc02.school.local:5002");
  EXPECT_EQ(HostPort(roster.agents[2].destination), "192.168.0.30:65535");
}

TEST(RosterTest, ReadsCrLfLinesAndALastLineWithoutEnd) {
  const ParsedRoster roster =
      ParseRoster("# room 1\r\n01 pc01 5001\r\n\r\n02 pc02 5002", "room1.txt");
  ASSERT_EQ(roster.error, "");
  ASSERT_EQ(roster.agents.size(), 2U);
  EXPECT_EQ(HostPort(roster.agents[0].destination), "pc01:5001");
  EXPECT_EQ(HostPort(roster.agents[1].destination), "pc02:5002");
}

TEST(RosterTest, SkipsAUtf8ByteOrderMark) {
  const ParsedRoster roster = ParseRoster(
      "\xEF\xBB\xBF"
      "01 pc01 5001\n",
      "room1.txt");
  ASSERT_EQ(roster.error, "");
  EXPECT_EQ(roster.agents.at(0).number, "01");
}

TEST(RosterTest, ErrorsNameFileLineAndWhatWasExpected) {
  EXPECT_EQ(Error("# room 1\n\n01 pc01\n"),
            "room1.txt:3: expected NUMBER HOST PORT, found 2 field(s)");
  EXPECT_EQ(Error("01 pc01 5001\r\n31 pc31 5001\r\n"),
            "room1.txt:2: expected a computer number 01-30, found \"31\"");
  EXPECT_EQ(Error("01 pc01 5001 # teacher\n"),
            "room1.txt:1: expected the end of the line after the port, found \"#\"");
}

TEST(RosterTest, ComputerNumbersAreTwoDigits01To30) {
  for (const char* number : {"00", "1", "001", "31", "99", "ab", "0x"}) {
    EXPECT_EQ(
        Error(std::string(number) + " pc01 5001\n"),
        "room1.txt:1: expected a computer number 01-30, found \"" + std::string(number) + "\"");
  }
}

TEST(RosterTest, PortsAre1To65535) {
  for (const char* port : {"0", "65536", "-5", "50o1"}) {
    EXPECT_EQ(Error(std::string("01 pc01 ") + port + "\n"),
              "room1.txt:1: expected a UDP port 1-65535, found \"" + std::string(port) + "\"");
  }
}

TEST(RosterTest, HostsAreNamesOrDottedAddresses) {
  EXPECT_EQ(Error("01 192.168.0 5001\n"),
            "room1.txt:1: expected a host name or dotted IPv4 address, found \"192.168.0\"");
  EXPECT_EQ(Error("01 pc01:5001 5001\n"),
            "room1.txt:1: expected a host name or dotted IPv4 address, found \"pc01:5001\"");
}

TEST(RosterTest, AStrayCarriageReturnInsideALineIsAnError) {
  EXPECT_EQ(Error("01 pc01 5001\r\r\n"),
            "room1.txt:1: expected a UDP port 1-65535, found \"5001\\r\"");
}

TEST(RosterTest, AComputerNumberMayAppearOnlyOnce) {
  EXPECT_EQ(Error("07 pc07 5001\n# again\n07 pc08 5001\n"),
            "room1.txt:3: computer number 07 is already on line 1");
}

TEST(RosterTest, ARosterWithoutAgentsIsAnError) {
  EXPECT_EQ(Error(""), "room1.txt: lists no agents");
  EXPECT_EQ(Error("# nobody yet\r\n\r\n"), "room1.txt: lists no agents");
}

}  // namespace
}  // namespace ctl
