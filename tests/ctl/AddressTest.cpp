#include "ctl/Address.h"

#include <gtest/gtest.h>

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

TEST(DestinationTest, IsHostColonPortOrAHostThatTakesTheDefault) {
  const struct {
    std::string text;
    std::optional<std::uint16_t> defaultPort;
    std::string destinationOrError;
  } cases[] = {
      {"pc07:5001", 6000, "pc07:5001"},
      {"192.168.0.7", 6000, "192.168.0.7:6000"},
      {"pc07", {}, "no port for \"pc07\": write HOST:PORT or give --port"},
      {"pc07:70000", 6000, "bad port \"70000\" in \"pc07:70000\": expected 1-65535"},
      {"pc07:", 6000, "bad port \"\" in \"pc07:\": expected 1-65535"},
      {":5001", {}, "\"\" is not a host name or dotted IPv4 address"},
      {"10.1:5001", {}, "\"10.1\" is not a host name or dotted IPv4 address"},
  };
  for (const auto& [text, defaultPort, destinationOrError] : cases) {
    const ParsedDestination parsed = ParseDestination(text, defaultPort);
    EXPECT_EQ(parsed.error.empty() ? HostPort(parsed.destination) : parsed.error,
              destinationOrError)
        << text;
  }
}

}  // namespace
}  // namespace ctl
