#include "ctl/Arguments.h"

#include <array>
#include <string_view>

#include "ctl/Shown.h"
#include "ctl/Wire.h"

namespace ctl {
namespace {

struct SendCommand {
  std::string_view name;
  std::string_view verb;     // the command it sends, unless it takes the text as its last argument
  std::string_view operand;  // the name of that argument, or empty
};

constexpr std::array<SendCommand, 6> kSendCommands{{
    {"send", "", "TEXT"},
    {"open", "", "URL"},
    {"fullscreen", protocol::kFullScreen, ""},
    {"windowed", protocol::kPartScreen, ""},
    {"show", protocol::kVisibleTrue, ""},
    {"hide", protocol::kVisibleFalse, ""},
}};

struct Options {
  std::optional<std::uint16_t> port;
  std::optional<std::string> rosterFile;
  bool quiet = false;
  bool help = false;
  std::vector<std::string> operands;
};

ParsedArguments Failed(std::string error) {
  return {{}, std::move(error)};
}

std::string SetValue(std::string_view name, const std::string& value, Options& options) {
  if (name == "--roster") {
    if (value.empty()) return "--roster needs a file name";
    options.rosterFile = value;
    return "";
  }
  options.port = ParsePort(value);
  return options.port ? "" : "--port expects a UDP port 1-65535, not " + Shown(value);
}

// Reads "--name=value" or "--name value", advancing index past the value.
std::string ReadValueOption(const std::vector<std::string>& arguments, std::size_t& index,
                            Options& options) {
  const std::string& argument = arguments[index];
  const std::size_t equals = argument.find('=');
  const std::string name = argument.substr(0, equals);
  if (name != "--port" && name != "--roster") return "unknown option " + Shown(name);
  if (equals != std::string::npos) return SetValue(name, argument.substr(equals + 1), options);
  if (index + 1 == arguments.size()) return name + " needs a value";
  return SetValue(name, arguments[++index], options);
}

// "--" ends the options, so that a text may start with '-'.
std::string ReadOptions(const std::vector<std::string>& arguments, Options& options) {
  bool optionsEnded = false;
  for (std::size_t index = 0; index < arguments.size() && !options.help; ++index) {
    const std::string& argument = arguments[index];
    if (optionsEnded || !argument.starts_with('-') || argument == "-") {
      options.operands.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "-h" || argument == "--help") {
      options.help = true;
    } else if (argument == "-q" || argument == "--quiet") {
      options.quiet = true;
    } else if (std::string error = ReadValueOption(arguments, index, options); !error.empty()) {
      return error;
    }
  }
  return "";
}

ParsedArguments ParseListen(const std::vector<std::string>& operands, const Options& options) {
  if (options.port || options.rosterFile) return Failed("listen takes no --port or --roster");
  if (operands.empty()) return Failed("listen: missing PORT");
  if (operands.size() > 1) return Failed("listen: unexpected argument " + Shown(operands[1]));
  const auto port = ParsePort(operands[0]);
  if (!port) return Failed("listen: expected a UDP port 1-65535, not " + Shown(operands[0]));
  ParsedArguments parsed;
  parsed.invocation.action = Action::Listen;
  parsed.invocation.listenPort = *port;
  parsed.invocation.quiet = options.quiet;
  return parsed;
}

// The agent reads any text that starts with "Command:" as a command, never as a page.
std::string CheckUrl(std::string_view url) {
  if (url.empty()) return "open: the URL is empty";
  if (url.starts_with(kCommandPrefix)) {
    return "open: the agent would take a URL starting with " + Shown(kCommandPrefix) +
           " as a command; use send";
  }
  return "";
}

std::string CheckOperandCount(const SendCommand& command, const std::vector<std::string>& operands,
                              const Options& options) {
  std::vector<std::string_view> expected;
  if (!options.rosterFile) expected.push_back("HOST[:PORT]");
  if (!command.operand.empty()) expected.push_back(command.operand);
  const std::string name(command.name);
  if (operands.size() < expected.size())
    return name + ": missing " + std::string(expected[operands.size()]);
  if (operands.size() == expected.size()) return "";
  const std::string hint = options.rosterFile ? " (--roster takes the place of HOST)" : "";
  return name + ": unexpected argument " + Shown(operands[expected.size()]) + hint;
}

ParsedArguments ParseSend(const SendCommand& command, const std::vector<std::string>& operands,
                          const Options& options) {
  if (options.rosterFile && options.port) return Failed("--port does not apply with --roster");
  if (std::string error = CheckOperandCount(command, operands, options); !error.empty()) {
    return Failed(error);
  }
  if (command.operand == "URL") {
    if (std::string error = CheckUrl(operands.back()); !error.empty()) return Failed(error);
  }
  ParsedArguments parsed;
  Invocation& invocation = parsed.invocation;
  invocation.action = Action::Send;
  invocation.quiet = options.quiet;
  invocation.text = command.operand.empty() ? CommandText(command.verb) : operands.back();
  if (options.rosterFile) {
    invocation.rosterFile = *options.rosterFile;
    return parsed;
  }
  ParsedDestination target = ParseDestination(operands.front(), options.port);
  invocation.destination = std::move(target.destination);
  parsed.error = std::move(target.error);
  return parsed;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
  Options options;
  if (std::string error = ReadOptions(arguments, options); !error.empty()) return Failed(error);
  if (options.help) return {};
  if (options.operands.empty()) return Failed("no command given");
  const std::string& name = options.operands.front();
  const std::vector<std::string> operands(options.operands.begin() + 1, options.operands.end());
  if (name == "listen") return ParseListen(operands, options);
  for (const SendCommand& command : kSendCommands) {
    if (command.name == name) return ParseSend(command, operands, options);
  }
  return Failed("unknown command " + Shown(name));
}

std::string Usage() {
  return R"(usage: velostrander-ctl [-q] [--port N] COMMAND HOST[:PORT] [TEXT]
       velostrander-ctl [-q] --roster FILE COMMAND [TEXT]
       velostrander-ctl [-q] listen PORT

Steers Velostrander_Child agents over UDP. Each of these commands sends one datagram:
  send HOST[:PORT] TEXT    TEXT as it is
  open HOST[:PORT] URL     URL: the agent opens it and shows its browser
  fullscreen HOST[:PORT]   "Command:FullScreen": the browser goes full screen
  windowed HOST[:PORT]     "Command:PartScreen": the browser leaves full screen
  show HOST[:PORT]         "Command:VisibleTrue": the browser is shown
  hide HOST[:PORT]         "Command:VisibleFalse": the browser is hidden
This one receives the agents' calls:
  listen PORT              prints a line for each call to UDP PORT, until Ctrl+C

Options:
  --port N       the agents' UDP port, for a HOST written without one
  --roster FILE  sends to every agent of FILE instead of one HOST; one agent a line,
                 "NUMBER HOST PORT" (number 01-30, host name or IPv4 address, port
                 1-65535); blank lines and lines starting with '#' are ignored
  -q, --quiet    prints no line for each datagram sent, and no start message of listen
  -h, --help     prints this help
  --             ends the options, so that TEXT may start with '-'

Exit status: 0 done; 1 a datagram could not be sent, or listen failed; 2 bad arguments or
roster (then nothing is sent).)";
}

}  // namespace ctl
