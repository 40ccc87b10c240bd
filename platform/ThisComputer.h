// This computer as the agents must name it: its name and its IPv4 addresses, which the teacher
// enters in each agent's settings as the console's computer and as the only sender it heeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ThisComputer {
  std::string name;                      // the computer's own name (UTF-8), "" when unknown
  std::vector<std::uint32_t> addresses;  // host order; those of interfaces that are up, without
                                         // loopback, each once
};

ThisComputer DescribeThisComputer();

}  // namespace platform
