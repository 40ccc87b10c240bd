// The built velostrander-ctl, run as a teacher would run it, against sockets on 127.0.0.1.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>

#include "ChildProcess.h"
#include "LoopbackSocket.h"

namespace {

using std::chrono_literals::operator""ms;

const std::string kProgram = VELO_CTL_PROGRAM;

// Takes out what differs from run to run: the time of a datagram, the resolver's reason.
std::string Steady(const std::string& output) {
  static const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
  static const std::regex reason(R"(unknown host \(.*\))");
  return std::regex_replace(std::regex_replace(output, time, "TIME"), reason, "unknown host (...)");
}

// A run of the program; "@1" to "@3" stand for the ports of three agents.
struct Case {
  std::vector<std::string> arguments;
  std::string roster;  // written to the roster file first, unless empty
  int status;
  std::string out, err;
  std::vector<std::optional<std::string>> datagrams;  // those of agents 1 to 3, in turn
};

Case Sent(std::vector<std::string> arguments, const std::string& datagram) {
  return {
      std::move(arguments), "", 0, "sent to 127.0.0.1:@1: \"" + datagram + "\"\n", "", {datagram}};
}

Case Refused(std::vector<std::string> arguments, std::string roster, int status, std::string err) {
  return {std::move(arguments), std::move(roster), status, "", std::move(err), {}};
}

TEST(LoopbackTest, EachRunEndsWithItsStatusOutputAndDatagrams) {
  // Keeps the resolver's wait short where no name server answers.
  setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
  // Other builds on the machine may run these tests at the same time.
  const std::string roster =
      ::testing::TempDir() + "velo-ctl-room1-" + std::to_string(getpid()) + ".txt";
  const std::string url = "https://例え.jp/検索?q=日本語&page=2";
  const Case cases[] = {
      Sent({"send", "127.0.0.1:@1", "hello world"}, "hello world"),
      Sent({"open", "127.0.0.1:@1", url}, url),
      Sent({"--port", "@1", "fullscreen", "127.0.0.1"}, "Command:FullScreen"),
      Sent({"--port", "@1", "windowed", "127.0.0.1"}, "Command:PartScreen"),
      Sent({"--port", "@1", "show", "127.0.0.1"}, "Command:VisibleTrue"),
      Sent({"--port", "@1", "hide", "127.0.0.1"}, "Command:VisibleFalse"),
      {{"-q", "show", "127.0.0.1:@1"}, "", 0, "", "", {"Command:VisibleTrue"}},
      {{"fullscreen", "--roster", roster},
       "# room 1\r\n01 127.0.0.1 @1\r\n\r\n02\tlocalhost\t@2\r\n03 127.0.0.1 @3\r\n",
       0,
       "sent to 127.0.0.1:@1 (computer 01): \"Command:FullScreen\"\n"
       "sent to localhost:@2 (computer 02): \"Command:FullScreen\"\n"
       "sent to 127.0.0.1:@3 (computer 03): \"Command:FullScreen\"\n",
       "",
       {"Command:FullScreen", "Command:FullScreen", "Command:FullScreen"}},
      {{"hide", "--roster", roster},
       "01 127.0.0.1 @1\n02 nohost.invalid 5001\n03 127.0.0.1 @3\n",
       1,
       "sent to 127.0.0.1:@1 (computer 01): \"Command:VisibleFalse\"\n"
       "sent to 127.0.0.1:@3 (computer 03): \"Command:VisibleFalse\"\n",
       "velostrander-ctl: not sent to nohost.invalid:5001 (computer 02): unknown host (...)\n",
       {"Command:VisibleFalse", std::nullopt, "Command:VisibleFalse"}},
      Refused({"show", "--roster", roster}, "01 127.0.0.1 @1\n02 127.0.0.1 70000\n", 2,
              "velostrander-ctl: " + roster + ":2: expected a UDP port 1-65535, found \"70000\"\n"),
      Refused({"show", "--roster", "/nonexistent/room1.txt"}, "", 2,
              "velostrander-ctl: cannot open roster /nonexistent/room1.txt: No such file or "
              "directory\n"),
      Refused({"show", "127.0.0.1"}, "", 2,
              "velostrander-ctl: no port for \"127.0.0.1\": write HOST:PORT or give --port\n"
              "Try 'velostrander-ctl --help'.\n"),
      // listen binds every address, so it cannot share the port agent 1 holds on 127.0.0.1.
      Refused({"listen", "@1"}, "", 1,
              "velostrander-ctl: cannot listen on UDP port @1: Address already in use\n"),
  };
  for (const Case& run : cases) {
    SCOPED_TRACE(::testing::PrintToString(run.arguments));
    const LoopbackSocket agents[3];
    const auto filled = [&](std::string text) {
      for (int n = 0; n < 3; ++n) {
        text = std::regex_replace(text, std::regex("@" + std::to_string(n + 1)),
                                  std::to_string(agents[n].port()));
      }
      return text;
    };
    if (!run.roster.empty()) std::ofstream(roster, std::ios::binary) << filled(run.roster);
    std::vector<std::string> arguments;
    for (const std::string& argument : run.arguments) arguments.push_back(filled(argument));
    ChildProcess ctl(kProgram, arguments);
    EXPECT_EQ(ctl.WaitForExit(), run.status);
    EXPECT_EQ(Steady(ctl.out()), filled(run.out));
    EXPECT_EQ(Steady(ctl.err()), filled(run.err));
    for (std::size_t n = 0; n < 3; ++n) {
      const auto datagram = n < run.datagrams.size() ? run.datagrams[n] : std::nullopt;
      // The program has ended, so anything it sent would be waiting already.
      EXPECT_EQ(agents[n].Receive(datagram ? kLimit : 0ms), datagram) << "agent " << n + 1;
    }
  }
  std::filesystem::remove(roster);
}

TEST(LoopbackTest, HelpNamesWhatEachCommandSends) {
  ChildProcess ctl(kProgram, {"--help"});
  EXPECT_EQ(ctl.WaitForExit(), 0);
  for (const char* text :
       {"\n  windowed HOST[:PORT]     \"Command:PartScreen\"", "Command:FullScreen",
        "Command:VisibleTrue", "Command:VisibleFalse", "--roster FILE", "listen PORT"}) {
    EXPECT_NE(ctl.out().find(text), std::string::npos) << text;
  }
  EXPECT_EQ(ctl.err(), "");
}

TEST(LoopbackTest, ListenPrintsEachDatagramUntilSigintOrSigterm) {
  const struct {
    std::string datagram;
    std::string line;  // "@" stands for the sender's port
    int signal;
  } cases[] = {
      {"07Call", "TIME  07  127.0.0.1:@\n", SIGTERM},
      {"Call\r\n", "TIME  --  127.0.0.1:@  not a call: \"Call\\r\\n\"\n", SIGINT},
  };
  for (const auto& [datagram, line, signal] : cases) {
    SCOPED_TRACE(::testing::PrintToString(datagram));
    // Free a moment ago on every address, as listen binds them all.
    const std::uint16_t port = LoopbackSocket("0.0.0.0").port();
    const std::string listening =
        "listening for calls on UDP port " + std::to_string(port) + "; Ctrl+C ends\n";
    ChildProcess ctl(kProgram, {"listen", std::to_string(port)});
    ASSERT_TRUE(ctl.WaitFor(ctl.err(), listening)) << ctl.err();
    const LoopbackSocket agent;
    agent.SendTo(port, datagram);
    ASSERT_TRUE(ctl.WaitFor(ctl.out(), "\n"));
    ctl.Signal(signal);
    EXPECT_EQ(ctl.WaitForExit(), 0);
    EXPECT_EQ(Steady(ctl.out()),
              std::regex_replace(line, std::regex("@"), std::to_string(agent.port())));
    EXPECT_EQ(ctl.err(), listening);
  }
}

}  // namespace
