#include "devtools/Address.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace devtools {
namespace {

// Schemes whose URLs need no "//" after them; a text that starts with any other word and a colon
// but no "//" is a host and its port ("localhost:8080/page").
constexpr std::array<std::string_view, 12> kSchemes{"about",      "blob", "data", "file",
                                                    "filesystem", "ftp",  "http", "https",
                                                    "mailto",     "tel",  "ws",   "wss"};

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The scheme before the first colon, if the text starts with one.
std::string_view SchemeOf(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 ||
      !std::isalpha(static_cast<unsigned char>(text[0])))
    return {};
  const std::string_view scheme = text.substr(0, colon);
  const bool valid = std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '+' || c == '-' || c == '.';
  });
  return valid ? scheme : std::string_view{};
}

std::string Slashed(std::string_view path) {
  std::string slashed(path);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  return slashed;
}

}  // namespace

std::string Address(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  const bool drive = text.size() > 2 && std::isalpha(static_cast<unsigned char>(text[0])) &&
                     text[1] == ':' && (text[2] == '\\' || text[2] == '/');
  if (drive) return "file:///" + Slashed(text);
  if (text.starts_with("\\\\")) return "file:" + Slashed(text);
  if (text.starts_with('/')) return "file://" + std::string(text);
  const std::string_view scheme = SchemeOf(text);
  const bool whole = !scheme.empty() &&
                     (text.substr(scheme.size() + 1).starts_with("//") ||
                      std::find(kSchemes.begin(), kSchemes.end(), Lower(scheme)) != kSchemes.end());
  return whole || text.empty() ? std::string(text) : "http://" + std::string(text);
}

}  // namespace devtools
