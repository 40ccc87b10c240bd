// The command line: what to send and where, or which port to listen on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ctl/Address.h"

namespace ctl {

enum class Action { Help, Send, Listen };

struct Invocation {
  Action action = Action::Help;
  std::string text;                        // Send: the datagram, byte for byte
  std::optional<Destination> destination;  // Send to one host
  std::string rosterFile;                  // Send to every agent of this file instead
  std::uint16_t listenPort = 0;            // Listen
  bool quiet = false;
};

struct ParsedArguments {
  Invocation invocation;
  std::string error;  // one line, empty when the arguments were good
};

// The arguments after the program's name, in the system's code page.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

std::string Usage();

}  // namespace ctl
