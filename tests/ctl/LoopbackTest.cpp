// The built velostrander-ctl, run as a teacher would run it, against sockets on 127.0.0.1.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "ChildProcess.h"
#include "LoopbackSocket.h"

namespace {

using std::chrono_literals::operator""ms;

const std::string kProgram = VELO_CTL_PROGRAM;

std::string Local(std::uint16_t port) {
  return "127.0.0.1:" + std::to_string(port);
}

class LoopbackTest : public ::testing::Test {
 protected:
  LoopbackTest() {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() /
              ("velo-ctl-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(folder_);
  }
  ~LoopbackTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string WriteRoster(const std::string& bytes) const {
    const auto file = folder_ / "room1.txt";
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

 private:
  std::filesystem::path folder_;
};

TEST_F(LoopbackTest, SendDeliversTheTextAsOneDatagramWithoutTerminator) {
  const LoopbackSocket agent;
  ChildProcess ctl(kProgram, {"send", Local(agent.port()), "hello world"});
  EXPECT_EQ(ctl.WaitForExit(), 0) << ctl.err();
  EXPECT_EQ(agent.Receive(kLimit), "hello world");
  EXPECT_EQ(ctl.out(), "sent to " + Local(agent.port()) + ": \"hello world\"\n");
  EXPECT_EQ(ctl.err(), "");
}

TEST_F(LoopbackTest, OpenSendsAJapaneseUrlByteForByte) {
  const std::string url = "https://例え.jp/検索?q=日本語&page=2";
  const LoopbackSocket agent;
  ChildProcess ctl(kProgram, {"open", Local(agent.port()), url});
  EXPECT_EQ(ctl.WaitForExit(), 0) << ctl.err();
  EXPECT_EQ(agent.Receive(kLimit), url);
}

TEST_F(LoopbackTest, EachDisplayCommandSendsItsTextToThePortOption) {
  const std::vector<std::pair<std::string, std::string>> commands{
      {"fullscreen", "Command:FullScreen"},
      {"windowed", "Command:PartScreen"},
      {"show", "Command:VisibleTrue"},
      {"hide", "Command:VisibleFalse"},
  };
  const LoopbackSocket agent;
  for (const auto& [command, text] : commands) {
    ChildProcess ctl(kProgram, {"--port", std::to_string(agent.port()), command, "127.0.0.1"});
    EXPECT_EQ(ctl.WaitForExit(), 0) << ctl.err();
    EXPECT_EQ(agent.Receive(kLimit), text);
  }
}

TEST_F(LoopbackTest, QuietPrintsNothing) {
  const LoopbackSocket agent;
  ChildProcess ctl(kProgram, {"-q", "show", Local(agent.port())});
  EXPECT_EQ(ctl.WaitForExit(), 0) << ctl.err();
  EXPECT_EQ(agent.Receive(kLimit), "Command:VisibleTrue");
  EXPECT_EQ(ctl.out(), "");
}

TEST_F(LoopbackTest, RosterReachesEveryAgent) {
  const LoopbackSocket first, second, third;
  const std::string roster = WriteRoster(
      "# room 1\r\n"
      "01 127.0.0.1 " +
      std::to_string(first.port()) +
      "\r\n"
      "\r\n"
      "02\tlocalhost\t" +
      std::to_string(second.port()) +
      "\r\n"
      "03 127.0.0.1 " +
      std::to_string(third.port()) + "\r\n");
  ChildProcess ctl(kProgram, {"fullscreen", "--roster", roster});
  EXPECT_EQ(ctl.WaitForExit(), 0) << ctl.err();
  for (const LoopbackSocket* agent : {&first, &second, &third}) {
    EXPECT_EQ(agent->Receive(kLimit), "Command:FullScreen");
  }
  EXPECT_EQ(ctl.out(), "sent to " + Local(first.port()) +
                           " (computer 01): \"Command:FullScreen\"\n" +
                           "sent to localhost:" + std::to_string(second.port()) +
                           " (computer 02): \"Command:FullScreen\"\n" + "sent to " +
                           Local(third.port()) + " (computer 03): \"Command:FullScreen\"\n");
}

TEST_F(LoopbackTest, AnUnknownHostIsReportedAndTheOthersStillServed) {
  const LoopbackSocket first, third;
  const std::string roster = WriteRoster("01 127.0.0.1 " + std::to_string(first.port()) + "\n" +
                                         "02 nohost.invalid 5001\n" + "03 127.0.0.1 " +
                                         std::to_string(third.port()) + "\n");
  // Keeps the resolver's wait short where no name server answers.
  setenv("RES_OPTIONS", "timeout:1 attempts:1", 1);
  ChildProcess ctl(kProgram, {"hide", "--roster", roster});
  EXPECT_EQ(ctl.WaitForExit(), 1);
  EXPECT_EQ(first.Receive(kLimit), "Command:VisibleFalse");
  EXPECT_EQ(third.Receive(kLimit), "Command:VisibleFalse");
  EXPECT_TRUE(ctl.err().starts_with(
      "velostrander-ctl: not sent to nohost.invalid:5001 (computer 02): unknown host ("))
      << ctl.err();
}

TEST_F(LoopbackTest, AMalformedRosterSendsNothing) {
  const LoopbackSocket agent;
  const std::string roster =
      WriteRoster("01 127.0.0.1 " + std::to_string(agent.port()) + "\n02 127.0.0.1 70000\n");
  ChildProcess ctl(kProgram, {"show", "--roster", roster});
  EXPECT_EQ(ctl.WaitForExit(), 2);
  EXPECT_EQ(ctl.err(),
            "velostrander-ctl: " + roster + ":2: expected a UDP port 1-65535, found \"70000\"\n");
  // The program has ended, so anything it sent would be waiting already.
  EXPECT_EQ(agent.Receive(0ms), std::nullopt);
}

TEST_F(LoopbackTest, AMissingRosterIsNamed) {
  ChildProcess ctl(kProgram, {"show", "--roster", "/nonexistent/room1.txt"});
  EXPECT_EQ(ctl.WaitForExit(), 2);
  EXPECT_EQ(ctl.err(),
            "velostrander-ctl: cannot open roster /nonexistent/room1.txt: No such file or "
            "directory\n");
}

TEST_F(LoopbackTest, AHostWithoutPortIsABadArgument) {
  ChildProcess ctl(kProgram, {"show", "127.0.0.1"});
  EXPECT_EQ(ctl.WaitForExit(), 2);
  EXPECT_EQ(ctl.err(),
            "velostrander-ctl: no port for \"127.0.0.1\": write HOST:PORT or give --port\n"
            "Try 'velostrander-ctl --help'.\n");
  EXPECT_EQ(ctl.out(), "");
}

TEST_F(LoopbackTest, HelpExplainsEachCommand) {
  ChildProcess ctl(kProgram, {"--help"});
  EXPECT_EQ(ctl.WaitForExit(), 0);
  EXPECT_NE(ctl.out().find("\n  windowed HOST[:PORT]     \"Command:PartScreen\""),
            std::string::npos);
  EXPECT_EQ(ctl.err(), "");
}

TEST_F(LoopbackTest, ListenPrintsEachCallAndEndsCleanlyOnSigterm) {
  const std::uint16_t port = FreeUdpPort();
  ChildProcess ctl(kProgram, {"listen", std::to_string(port)});
  ASSERT_TRUE(ctl.WaitFor(ctl.err(), "listening for calls on UDP port " + std::to_string(port)))
      << ctl.err();
  const LoopbackSocket agent;
  agent.SendTo(port, "07Call");
  ASSERT_TRUE(ctl.WaitFor(ctl.out(), "\n"));
  const std::regex callLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  07  127\.0\.0\.1:)" +
                            std::to_string(agent.port()) + "\n");
  EXPECT_TRUE(std::regex_match(ctl.out(), callLine)) << ctl.out();
  ctl.Signal(SIGTERM);
  EXPECT_EQ(ctl.WaitForExit(), 0);
}

TEST_F(LoopbackTest, ListenMarksOtherDatagramsAsNotACall) {
  const std::uint16_t port = FreeUdpPort();
  ChildProcess ctl(kProgram, {"listen", std::to_string(port)});
  ASSERT_TRUE(ctl.WaitFor(ctl.err(), "listening")) << ctl.err();
  const LoopbackSocket stranger;
  stranger.SendTo(port, "Call\r\n");
  const std::string expected = "  --  " + Local(stranger.port()) + "  not a call: \"Call\\r\\n\"\n";
  EXPECT_TRUE(ctl.WaitFor(ctl.out(), expected)) << ctl.out();
  ctl.Signal(SIGINT);
  EXPECT_EQ(ctl.WaitForExit(), 0);
}

TEST_F(LoopbackTest, ListenOnAPortInUseFailsWithTheReason) {
  const LoopbackSocket holder("0.0.0.0");
  const std::string port = std::to_string(holder.port());
  ChildProcess ctl(kProgram, {"listen", port});
  EXPECT_EQ(ctl.WaitForExit(), 1);
  EXPECT_EQ(ctl.err(),
            "velostrander-ctl: cannot listen on UDP port " + port + ": Address already in use\n");
}

}  // namespace
