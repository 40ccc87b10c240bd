#include "ctl/Shown.h"

#include <utility>

namespace ctl {
namespace {

// What a terminal obeys rather than shows: the C0 and C1 controls with DEL between them, and the
// marks and embeddings of bidirectional text, with which a line can be made to read as another,
// another sender's address in it.
constexpr std::pair<char32_t, char32_t> kSteering[] = {{0x00, 0x1F},     {0x7F, 0x9F},
                                                       {0x061C, 0x061C}, {0x200E, 0x200F},
                                                       {0x202A, 0x202E}, {0x2066, 0x2069}};

bool Steers(char32_t code) {
  for (const auto& [first, last] : kSteering) {
    if (code >= first && code <= last) return true;
  }
  return false;
}

struct Character {
  char32_t code;
  std::size_t length;
};

// The character at the start of `bytes` as UTF-8 encodes it, up to three bytes (the rest steer
// nothing). A byte above 0x7F that starts no such sequence is no character: in a double-byte
// code page it may be the first half of one, and never stands for U+0080 to U+00FF.
Character First(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
  if (length == 0 || bytes.size() < length) return {U'\uFFFD', 1};
  char32_t code = lead & (length == 2 ? 0x1F : 0x0F);
  for (std::size_t index = 1; index < length; ++index) {
    const auto next = static_cast<unsigned char>(bytes[index]);
    if ((next & 0xC0) != 0x80) return {U'\uFFFD', 1};
    code = code << 6 | (next & 0x3F);
  }
  return {code, length};
}

std::string Escaped(std::string_view character) {
  if (character == "\r") return "\\r";
  if (character == "\n") return "\\n";
  if (character == "\t") return "\\t";
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : character) {
    const auto byte = static_cast<unsigned char>(c);
    escaped += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
  }
  return escaped;
}

}  // namespace

std::string Shown(std::string_view bytes) {
  std::string shown = "\"";
  while (!bytes.empty()) {
    const Character next = First(bytes);
    const std::string_view character = bytes.substr(0, next.length);
    shown += Steers(next.code) ? Escaped(character) : std::string(character);
    bytes.remove_prefix(next.length);
  }
  return shown + "\"";
}

}  // namespace ctl
