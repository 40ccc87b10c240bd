// The behaviour holds text as UTF-8; where positions count characters (columns of a settings
// line, the first eight characters of a datagram) it works on code points.
#pragma once

#include <string>
#include <string_view>

namespace common {

// Malformed UTF-8 becomes U+FFFD, one per offending byte, so no input can make this fail.
std::u32string ToChars(std::string_view utf8);
std::string ToUtf8(std::u32string_view chars);

}  // namespace common
