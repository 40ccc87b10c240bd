#include "ctl/Arguments.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

Invocation Good(std::vector<std::string> arguments) {
  const ParsedArguments parsed = ParseArguments(arguments);
  EXPECT_EQ(parsed.error, "");
  return parsed.invocation;
}

std::string Error(std::vector<std::string> arguments) {
  return ParseArguments(arguments).error;
}

TEST(ArgumentsTest, EachCommandSendsItsText) {
  const std::vector<std::pair<std::string, std::string>> commands{
      {"fullscreen", "Command:FullScreen"},
      {"windowed", "Command:PartScreen"},
      {"show", "Command:VisibleTrue"},
      {"hide", "Command:VisibleFalse"},
  };
  for (const auto& [command, text] : commands) {
    const Invocation invocation = Good({command, "pc07:5001"});
    EXPECT_EQ(invocation.action, Action::Send);
    EXPECT_EQ(invocation.text, text) << command;
    EXPECT_EQ(HostPort(*invocation.destination), "pc07:5001");
  }
}

TEST(ArgumentsTest, SendAndOpenTakeTheTextAsItIs) {
  EXPECT_EQ(Good({"send", "pc07:5001", "Command:Other "}).text, "Command:Other ");
  EXPECT_EQ(Good({"send", "pc07:5001", ""}).text, "");
  EXPECT_EQ(Good({"open", "pc07:5001", "https://example.jp/?q=a b"}).text,
            "https://example.jp/?q=a b");
}

TEST(ArgumentsTest, PortOptionServesHostsWithoutOne) {
  EXPECT_EQ(HostPort(*Good({"--port", "5001", "show", "pc07"}).destination), "pc07:5001");
  EXPECT_EQ(HostPort(*Good({"show", "pc07", "--port=5002"}).destination), "pc07:5002");
  EXPECT_EQ(HostPort(*Good({"--port", "5001", "show", "pc07:6000"}).destination), "pc07:6000");
}

TEST(ArgumentsTest, HostWithoutAnyPortIsRefused) {
  EXPECT_EQ(Error({"show", "pc07"}), "no port for \"pc07\": write HOST:PORT or give --port");
}

TEST(ArgumentsTest, BadPortsAreRefused) {
  EXPECT_EQ(Error({"--port", "0", "show", "pc07"}), "--port expects a UDP port 1-65535, not \"0\"");
  EXPECT_EQ(Error({"--port=70000", "show", "pc07"}),
            "--port expects a UDP port 1-65535, not \"70000\"");
  EXPECT_EQ(Error({"show", "pc07:x"}), "bad port \"x\" in \"pc07:x\": expected 1-65535");
  EXPECT_EQ(Error({"show", "pc07", "--port"}), "--port needs a value");
}

TEST(ArgumentsTest, RosterTakesThePlaceOfTheHost) {
  const Invocation invocation = Good({"--roster", "room1.txt", "open", "https://example.jp/"});
  EXPECT_EQ(invocation.rosterFile, "room1.txt");
  EXPECT_FALSE(invocation.destination);
  EXPECT_EQ(invocation.text, "https://example.jp/");
  EXPECT_EQ(Good({"hide", "--roster=room1.txt"}).rosterFile, "room1.txt");
}

TEST(ArgumentsTest, RosterWithAHostOrAPortIsRefused) {
  EXPECT_EQ(Error({"--roster", "room1.txt", "hide", "pc07:5001"}),
            "hide: unexpected argument \"pc07:5001\" (--roster takes the place of HOST)");
  EXPECT_EQ(Error({"--roster", "room1.txt", "--port", "5001", "hide"}),
            "--port does not apply with --roster");
  EXPECT_EQ(Error({"--roster=", "hide"}), "--roster needs a file name");
}

TEST(ArgumentsTest, MissingAndExtraOperandsAreNamed) {
  EXPECT_EQ(Error({"open"}), "open: missing HOST[:PORT]");
  EXPECT_EQ(Error({"open", "pc07:5001"}), "open: missing URL");
  EXPECT_EQ(Error({"send", "pc07:5001"}), "send: missing TEXT");
  EXPECT_EQ(Error({"show", "pc07:5001", "now"}), "show: unexpected argument \"now\"");
}

TEST(ArgumentsTest, OpenRefusesWhatTheAgentWouldNotOpen) {
  EXPECT_EQ(Error({"open", "pc07:5001", ""}), "open: the URL is empty");
  EXPECT_EQ(Error({"open", "pc07:5001", "Command:FullScreen"}),
            "open: the agent would take a URL starting with \"Command:\" as a command; use send");
}

TEST(ArgumentsTest, DoubleDashLetsATextStartWithADash) {
  EXPECT_EQ(Good({"send", "pc07:5001", "--", "-q"}).text, "-q");
  EXPECT_EQ(Error({"send", "pc07:5001", "-x"}), "unknown option \"-x\"");
}

TEST(ArgumentsTest, QuietIsRemembered) {
  EXPECT_TRUE(Good({"-q", "show", "pc07:5001"}).quiet);
  EXPECT_TRUE(Good({"listen", "5000", "--quiet"}).quiet);
  EXPECT_FALSE(Good({"show", "pc07:5001"}).quiet);
}

TEST(ArgumentsTest, ListenTakesItsPort) {
  const Invocation invocation = Good({"listen", "5000"});
  EXPECT_EQ(invocation.action, Action::Listen);
  EXPECT_EQ(invocation.listenPort, 5000);
}

TEST(ArgumentsTest, ListenRefusesBadPortsAndSendingOptions) {
  EXPECT_EQ(Error({"listen"}), "listen: missing PORT");
  EXPECT_EQ(Error({"listen", "0"}), "listen: expected a UDP port 1-65535, not \"0\"");
  EXPECT_EQ(Error({"listen", "5000", "5001"}), "listen: unexpected argument \"5001\"");
  EXPECT_EQ(Error({"--port", "5000", "listen", "5000"}), "listen takes no --port or --roster");
}

TEST(ArgumentsTest, HelpWinsOverEverythingAfterIt) {
  EXPECT_EQ(Good({"--help"}).action, Action::Help);
  EXPECT_EQ(Good({"show", "-h", "--bogus"}).action, Action::Help);
}

TEST(ArgumentsTest, UnknownOrMissingCommandsAreRefused) {
  EXPECT_EQ(Error({}), "no command given");
  EXPECT_EQ(Error({"-q"}), "no command given");
  EXPECT_EQ(Error({"fullscren", "pc07:5001"}), "unknown command \"fullscren\"");
  EXPECT_EQ(Error({"--verbose", "show"}), "unknown option \"--verbose\"");
}

TEST(ArgumentsTest, UsageNamesWhatEachCommandSends) {
  const std::string usage = Usage();
  for (const char* text : {"Command:FullScreen", "Command:PartScreen", "Command:VisibleTrue",
                           "Command:VisibleFalse", "--roster FILE", "listen PORT"}) {
    EXPECT_NE(usage.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace ctl
