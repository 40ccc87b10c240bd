// Text from users and from the network, made safe to print on one line.
#pragma once

#include <string>
#include <string_view>

namespace ctl {

// The bytes in double quotes, with each character that steers a terminal written as \r, \n, \t
// or its bytes as \xNN: the control characters, C0 and C1 (the latter as UTF-8 carries them),
// and the bidirectional marks and embeddings. Backslashes stay as they are, because in
// double-byte code pages such as Shift-JIS the byte 0x5C is also the second half of a character.
std::string Shown(std::string_view bytes);

}  // namespace ctl
