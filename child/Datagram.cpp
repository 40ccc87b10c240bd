#include "child/Datagram.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "common/Protocol.h"
#include "common/RefusedAddress.h"
#include "common/Text.h"

namespace child {
namespace {

constexpr std::array<std::pair<std::string_view, Request>, 4> kVerbs{{
    {protocol::kPartScreen, Request::PartScreen},
    {protocol::kFullScreen, Request::FullScreen},
    {protocol::kVisibleTrue, Request::VisibleTrue},
    {protocol::kVisibleFalse, Request::VisibleFalse},
}};

// What the code page's decoder puts for bytes that are no text in it.
constexpr char32_t kNotText = 0xFFFD;

// Bytes that were no text in the code page, or a control character other than the tabs and line
// breaks that browsers drop. Such a text is nothing a console sends; waiting for the error page
// that a browser makes of it, datagram after datagram, would let a flood of junk hold the
// channel for hours.
bool IsGarbled(std::u32string_view chars) {
  return std::any_of(chars.begin(), chars.end(), [](char32_t c) {
    return c == kNotText || c == 0x7F || (c < U' ' && c != U'\t' && c != U'\n' && c != U'\r');
  });
}

}  // namespace

// "Command:" is ASCII, so its eight characters are its eight bytes in UTF-8 too.
Request DecodeDatagram(std::string_view text) {
  if (text.starts_with(protocol::kCommandPrefix)) {
    const std::string_view verb = text.substr(protocol::kCommandPrefix.size());
    for (const auto& [name, request] : kVerbs) {
      if (verb == name) return request;
    }
    return Request::NoChange;
  }
  const std::u32string chars = common::ToChars(text);
  if (common::IsRefusedAddress(chars)) return Request::Refused;
  return IsGarbled(chars) ? Request::Garbled : Request::OpenUrl;
}

}  // namespace child
