// What the Qt backend's own tests add to the endpoint harness: a look at what the kernel holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "endpoint/Harness.h"

namespace harness {

// Bytes the kernel still holds for the IPv4 UDP socket bound to `port`, its error reports
// included: 0 once its owner has taken everything.
std::size_t HeldByKernel(std::uint16_t port);

}  // namespace harness
