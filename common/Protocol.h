// The texts that pass between the master console and an agent: one text a datagram, with no
// header and no terminator. The agent and any peer that steers it share these.
#pragma once

#include <string_view>

namespace protocol {

inline constexpr std::string_view kCommandPrefix = "Command:";
inline constexpr std::string_view kPartScreen = "PartScreen";
inline constexpr std::string_view kFullScreen = "FullScreen";
inline constexpr std::string_view kVisibleTrue = "VisibleTrue";
inline constexpr std::string_view kVisibleFalse = "VisibleFalse";
// A call is the two-character computer number followed by this.
inline constexpr std::string_view kCallSuffix = "Call";

}  // namespace protocol
