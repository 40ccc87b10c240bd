#include "common/RefusedAddress.h"

#include <algorithm>
#include <array>

#include "common/Text.h"

namespace common {
namespace {

constexpr std::array<std::string_view, 7> kRefusedSchemes{
    "javascript", "vbscript", "chrome", "chrome-untrusted", "devtools", "edge", "view-source"};

bool IsAsciiLetter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

bool IsSchemeCharacter(char32_t c) {
  return IsAsciiLetter(c) || (c >= U'0' && c <= U'9') || c == U'+' || c == U'-' || c == U'.';
}

// Control characters and every kind of blank, the ideographic space included: a browser that
// takes an address as a person types it trims them all.
bool IsSkippedAtStart(char32_t c) {
  constexpr std::array<char32_t, 9> kBlanks{0x85,   0xA0,   0x1680, 0x2028, 0x2029,
                                            0x202F, 0x205F, 0x3000, 0xFEFF};
  return c <= U' ' || (c >= 0x2000 && c <= 0x200A) ||
         std::find(kBlanks.begin(), kBlanks.end(), c) != kBlanks.end();
}

// The address as a browser reads it: leading blanks and control characters skipped, tabs and
// line breaks dropped wherever they stand.
std::u32string AsBrowsersRead(std::u32string_view chars) {
  std::size_t start = 0;
  while (start < chars.size() && IsSkippedAtStart(chars[start])) ++start;
  std::u32string address;
  for (const char32_t c : chars.substr(start)) {
    if (c != U'\t' && c != U'\n' && c != U'\r') address.push_back(c);
  }
  return address;
}

// The scheme of an address as a browser reads it, in lower case; empty when there is none.
std::string SchemeOf(std::u32string_view address) {
  std::string scheme;
  for (const char32_t c : address) {
    if (c == U':' && !scheme.empty() && IsAsciiLetter(scheme.front())) return scheme;
    if (!IsSchemeCharacter(c)) return {};
    scheme.push_back(static_cast<char>(c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c));
  }
  return {};
}

}  // namespace

// "about:blank" names the one empty page; the path of an "about:" address keeps its case, and
// any other is one of the browser's own pages.
bool IsRefusedAddress(std::u32string_view chars) {
  const std::u32string address = AsBrowsersRead(chars);
  const std::string scheme = SchemeOf(address);
  if (scheme == "about") {
    const std::u32string_view page = std::u32string_view(address).substr(scheme.size() + 1);
    return page != U"blank" && !page.starts_with(U"blank#") && !page.starts_with(U"blank?");
  }
  return std::ranges::find(kRefusedSchemes, scheme) != kRefusedSchemes.end();
}

bool IsRefusedAddress(std::string_view utf8) {
  return IsRefusedAddress(ToChars(utf8));
}

}  // namespace common
