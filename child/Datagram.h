// What a datagram from the master console asks of the agent.
#pragma once

#include <string_view>

#include "common/RefusedAddress.h"

namespace child {

enum class Request {
  OpenUrl,     // the whole text is a URL
  PartScreen,  // leave full-screen display
  FullScreen,
  VisibleTrue,   // show the browser window
  VisibleFalse,  // hide it
  NoChange,      // a command whose verb is none of the four
  // An address common::IsRefusedAddress() refuses, on the word of any computer on the network.
  // Ignored.
  Refused,
  // Bytes that are no text, or control characters inside: not an address. Ignored.
  Garbled,
};

// The text is a command when its first eight characters are exactly "Command:"; the verb is
// everything after them, compared exactly. Any other text is a URL, unless it is refused or
// garbled.
Request DecodeDatagram(std::string_view text);

}  // namespace child
