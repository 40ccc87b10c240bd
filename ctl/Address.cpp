#include "ctl/Address.h"

#include <algorithm>

#include "ctl/Shown.h"

namespace ctl {
namespace {

constexpr std::size_t kLongestHostName = 253;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Bytes above ASCII belong to names in the system's code page, such as Japanese computer names.
bool IsHostByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 || IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         c == '-' || c == '.' || c == '_';
}

// Callers keep the digits few enough for the value to fit.
unsigned DecimalValue(std::string_view digits) {
  unsigned value = 0;
  for (const char digit : digits) value = value * 10 + static_cast<unsigned>(digit - '0');
  return value;
}

bool IsAddressPart(std::string_view part) {
  if (!IsDigits(part) || part.size() > 3 || (part.size() > 1 && part.front() == '0')) return false;
  return DecimalValue(part) <= 255;
}

bool IsDottedIpv4(std::string_view text) {
  for (int part = 0; part < 3; ++part) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || !IsAddressPart(text.substr(0, dot))) return false;
    text.remove_prefix(dot + 1);
  }
  return IsAddressPart(text);
}

}  // namespace

std::string HostPort(const Destination& destination) {
  return destination.host + ":" + std::to_string(destination.port);
}

std::string DottedAddress(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  if (!IsDigits(text) || text.size() > 5) return std::nullopt;
  const unsigned value = DecimalValue(text);
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool IsHost(std::string_view text) {
  if (text.empty() || text.size() > kLongestHostName || text.front() == '-') return false;
  if (text.find_first_not_of("0123456789.") == std::string_view::npos) return IsDottedIpv4(text);
  return std::all_of(text.begin(), text.end(), IsHostByte);
}

ParsedDestination ParseDestination(std::string_view text,
                                   std::optional<std::uint16_t> defaultPort) {
  const std::size_t colon = text.rfind(':');
  const std::string_view host = text.substr(0, colon);
  if (!IsHost(host)) return {{}, Shown(host) + " is not a host name or dotted IPv4 address"};
  if (colon == std::string_view::npos) {
    if (!defaultPort)
      return {{}, "no port for " + Shown(host) + ": write HOST:PORT or give --port"};
    return {{std::string(host), *defaultPort}, ""};
  }
  const std::string_view portText = text.substr(colon + 1);
  const auto port = ParsePort(portText);
  if (!port)
    return {{}, "bad port " + Shown(portText) + " in " + Shown(text) + ": expected 1-65535"};
  return {{std::string(host), *port}, ""};
}

}  // namespace ctl
