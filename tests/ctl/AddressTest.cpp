#include "ctl/Address.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

TEST(PortTest, TakesDecimalPortsFromOneTo65535) {
  EXPECT_EQ(ParsePort("1"), 1);
  EXPECT_EQ(ParsePort("5001"), 5001);
  EXPECT_EQ(ParsePort("65535"), 65535);
}

TEST(PortTest, RefusesZeroTooLargeSignsAndOtherText) {
  for (const char* text : {"", "0", "65536", "99999999999", "-1", "+1", "50 01", "0x10", "5001a"}) {
    EXPECT_FALSE(ParsePort(text)) << text;
  }
}

TEST(HostTest, TakesNamesAndDottedAddresses) {
  for (const char* text : {"teacher-pc", "pc07.school.local", "PC_07", "192.168.0.12", "0.0.0.0",
                           "255.255.255.255", "\x83\x65\x83\x58\x83\x67"}) {
    EXPECT_TRUE(IsHost(text)) << text;
  }
}

TEST(HostTest, RefusesAddressesTheResolverWouldReadDifferently) {
  for (const char* text :
       {"1.2.3", "10.1", "1.2.3.4.5", "010.0.0.1", "256.1.1.1", "1..2.3", "1.2.3.", "1234.1.1.1"}) {
    EXPECT_FALSE(IsHost(text)) << text;
  }
}

TEST(HostTest, RefusesEmptyNamesAndPunctuation) {
  for (const char* text : {"", "-pc07", "pc 07", "pc:07", "http://pc07/", "pc\r"}) {
    EXPECT_FALSE(IsHost(text)) << text;
  }
  EXPECT_FALSE(IsHost(std::string(254, 'a')));
}

TEST(DestinationTest, ExplicitPortWinsOverTheDefault) {
  const ParsedDestination parsed = ParseDestination("pc07:5001", 6000);
  EXPECT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.destination.host, "pc07");
  EXPECT_EQ(parsed.destination.port, 5001);
}

TEST(DestinationTest, HostWithoutPortTakesTheDefault) {
  const ParsedDestination parsed = ParseDestination("192.168.0.7", 6000);
  EXPECT_EQ(parsed.error, "");
  EXPECT_EQ(HostPort(parsed.destination), "192.168.0.7:6000");
}

TEST(DestinationTest, HostWithoutPortAndNoDefaultSaysHowToGiveOne) {
  EXPECT_EQ(ParseDestination("pc07", std::nullopt).error,
            "no port for \"pc07\": write HOST:PORT or give --port");
}

TEST(DestinationTest, BadPortNamesTheText) {
  EXPECT_EQ(ParseDestination("pc07:70000", 6000).error,
            "bad port \"70000\" in \"pc07:70000\": expected 1-65535");
  EXPECT_EQ(ParseDestination("pc07:", 6000).error, "bad port \"\" in \"pc07:\": expected 1-65535");
}

TEST(DestinationTest, BadHostIsNamed) {
  EXPECT_EQ(ParseDestination(":5001", std::nullopt).error,
            "\"\" is not a host name or dotted IPv4 address");
  EXPECT_EQ(ParseDestination("10.1:5001", std::nullopt).error,
            "\"10.1\" is not a host name or dotted IPv4 address");
}

}  // namespace
}  // namespace ctl
