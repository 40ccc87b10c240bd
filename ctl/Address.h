// Where a datagram goes, and the forms in which a user writes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ctl {

struct Destination {
  std::string host;  // a host name or a dotted IPv4 address, in the system's code page
  std::uint16_t port = 0;
};

// "host:port", as messages show a destination.
std::string HostPort(const Destination& destination);

// "a.b.c.d" of an IPv4 address in host order, as a sender is shown.
std::string DottedAddress(std::uint32_t address);

// A UDP port 1-65535, in decimal digits only.
std::optional<std::uint16_t> ParsePort(std::string_view text);

// Dotted IPv4 addresses must be exactly four decimal parts 0-255: the resolver would otherwise
// read "10.1" or "010.0.0.1" as other addresses than the user meant.
bool IsHost(std::string_view text);

struct ParsedDestination {
  Destination destination;
  std::string error;  // empty when the text was good
};

// "HOST[:PORT]"; a host written without a port gets defaultPort.
ParsedDestination ParseDestination(std::string_view text, std::optional<std::uint16_t> defaultPort);

}  // namespace ctl
