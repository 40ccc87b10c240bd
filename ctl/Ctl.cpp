#include "ctl/Ctl.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <system_error>

#include "ctl/Arguments.h"
#include "ctl/Roster.h"
#include "ctl/Shown.h"
#include "ctl/Wire.h"
#include "platform/Datagrams.h"
#include "platform/Terminal.h"

namespace ctl {
namespace {

using platform::Stream;

// Flushed at once, so that a watching teacher or program sees each line when it happens.
void WriteLine(Stream stream, std::string_view line) {
  if (platform::WriteToConsole(stream, line)) return;
  std::FILE* const file = stream == Stream::Out ? stdout : stderr;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fputc('\n', file);
  std::fflush(file);
}

constexpr std::string_view kProgram = "velostrander-ctl: ";

struct LoadedAgents {
  std::vector<Agent> agents;
  std::string error;
};

// Read with C's files, not streams: on Windows, streams would bring the C++ locale machinery
// into the program, most of its size.
LoadedAgents LoadRoster(const std::string& fileName) {
  const auto failed = [&fileName](std::string_view what) {
    const std::string reason = errno != 0 ? ": " + std::generic_category().message(errno) : "";
    return LoadedAgents{{}, std::string(what) + " roster " + fileName + reason};
  };
  errno = 0;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) return failed("cannot open");
  std::string text;
  std::array<char, 4096> buffer;
  while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get())) {
    text.append(buffer.data(), got);
  }
  if (std::ferror(file.get())) return failed("cannot read");
  ParsedRoster roster = ParseRoster(text, fileName);
  return {std::move(roster.agents), std::move(roster.error)};
}

LoadedAgents Recipients(const Invocation& invocation) {
  if (!invocation.rosterFile.empty()) return LoadRoster(invocation.rosterFile);
  return {{Agent{"", *invocation.destination, {}, {}}}, ""};
}

std::string Recipient(const Agent& agent) {
  const std::string hostPort = HostPort(agent.destination);
  return agent.number.empty() ? hostPort : hostPort + " (computer " + agent.number + ")";
}

// Every agent is tried, so one switched-off PC does not keep the rest of the class waiting.
int SendToAll(const Invocation& invocation) {
  const LoadedAgents recipients = Recipients(invocation);
  if (!recipients.error.empty()) {
    WriteLine(Stream::Err, std::string(kProgram) + recipients.error);
    return kBadUsage;
  }
  int status = kSucceeded;
  for (const Agent& agent : recipients.agents) {
    const std::string reason =
        platform::SendDatagram(agent.destination.host, agent.destination.port, invocation.text);
    if (!reason.empty()) {
      WriteLine(Stream::Err,
                std::string(kProgram) + "not sent to " + Recipient(agent) + ": " + reason);
      status = kFailed;
    } else if (!invocation.quiet) {
      WriteLine(Stream::Out, "sent to " + Recipient(agent) + ": " + Shown(invocation.text));
    }
  }
  return status;
}

int ListenForCalls(const Invocation& invocation) {
  const std::string port = std::to_string(invocation.listenPort);
  bool bound = false;
  const std::string reason = platform::ReceiveDatagrams(
      invocation.listenPort,
      [&] {
        bound = true;
        if (!invocation.quiet) {
          WriteLine(Stream::Err, "listening for calls on UDP port " + port + "; Ctrl+C ends");
        }
      },
      [](const platform::ReceivedDatagram& datagram) {
        const std::string sender = HostPort({DottedAddress(datagram.address), datagram.port});
        WriteLine(Stream::Out,
                  ReceiptLine(platform::LocalTime(std::time(nullptr)), datagram.bytes, sender));
      });
  if (reason.empty()) return kSucceeded;
  const std::string what = bound ? "receiving on UDP port " : "cannot listen on UDP port ";
  WriteLine(Stream::Err, std::string(kProgram) + what + port + ": " + reason);
  return kFailed;
}

}  // namespace

int Run(const std::vector<std::string>& arguments) {
  const ParsedArguments parsed = ParseArguments(arguments);
  if (!parsed.error.empty()) return BadUsage(parsed.error);
  switch (parsed.invocation.action) {
    case Action::Send:
      return SendToAll(parsed.invocation);
    case Action::Listen:
      return ListenForCalls(parsed.invocation);
    case Action::Help:
      break;
  }
  WriteLine(Stream::Out, Usage());
  return kSucceeded;
}

int BadUsage(std::string_view message) {
  WriteLine(Stream::Err, std::string(kProgram) + std::string(message));
  WriteLine(Stream::Err, "Try 'velostrander-ctl --help'.");
  return kBadUsage;
}

}  // namespace ctl
