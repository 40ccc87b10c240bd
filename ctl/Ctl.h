// velostrander-ctl: the teacher's side of the agents' UDP command channel.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ctl {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;    // a datagram could not be sent, or listening failed
inline constexpr int kBadUsage = 2;  // nothing was sent

// The arguments after the program's name, in the system's code page; returns the exit status.
int Run(const std::vector<std::string>& arguments);

// Reports a bad command line; returns kBadUsage.
int BadUsage(std::string_view message);

}  // namespace ctl
