// Text from users and from the network, made safe to print on one line.
#pragma once

#include <string>
#include <string_view>

namespace ctl {

// The bytes in double quotes, with control characters written as \r, \n, \t or \xNN.
// Backslashes stay as they are, because in double-byte code pages such as Shift-JIS the byte
// 0x5C is also the second half of a character.
std::string Shown(std::string_view bytes);

}  // namespace ctl
