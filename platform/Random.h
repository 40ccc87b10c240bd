// The system's random source, for secrets.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// `count` bytes from the system's cryptographic random source; throws std::runtime_error when it
// gives none, as a guessable secret would be worse than no program.
std::string RandomBytes(std::size_t count);

}  // namespace platform
