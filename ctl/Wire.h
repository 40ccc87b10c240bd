// The texts that pass between the teacher's side and an agent, one text a datagram, no
// terminator, in the system's code page.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "common/Protocol.h"

namespace ctl {

using protocol::kCommandPrefix;

// "Command:" followed by the verb.
std::string CommandText(std::string_view verb);

// An agent's call button sends its two-digit computer number followed by "Call".
bool IsCall(std::string_view datagram);

// "YYYY-MM-DD HH:MM:SS  NN  address:port" for a call; anything else gets "--" for the number
// and the text, marked as not a call.
std::string ReceiptLine(const std::tm& received, std::string_view datagram,
                        std::string_view sender);

}  // namespace ctl
