#include "ctl/Arguments.h"

#include <gtest/gtest.h>

#include "ctl/Shown.h"

namespace ctl {
namespace {

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
      {{"send", "pc07:5001"}, "error: send: missing TEXT"},
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
      {{"--port", "0", "show", "pc07"}, "error: --port expects a UDP port 1-65535, not \"0\""},
      {{"--port=70000", "show", "pc07"}, "error: --port expects a UDP port 1-65535, not \"70000\""},
      {{"show", "pc07:x"}, "error: bad port \"x\" in \"pc07:x\": expected 1-65535"},
      {{"show", "pc07", "--port"}, "error: --port needs a value"},
      // --roster takes the place of the host.
      {{"--roster", "room1.txt", "open", "https://example.jp/"},
       "send \"https://example.jp/\" to roster room1.txt"},
      {{"hide", "--roster=room1.txt"}, "send \"Command:VisibleFalse\" to roster room1.txt"},
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
      {{"-q"}, "error: no command given"},
      {{"fullscren", "pc07:5001"}, "error: unknown command \"fullscren\""},
      {{"--verbose", "show"}, "error: unknown option \"--verbose\""},
  };
  for (const auto& [arguments, outcome] : cases) {
    EXPECT_EQ(Outcome(arguments), outcome) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace ctl
