#include <windows.h>
// After windows.h, on which it builds.
#include <bcrypt.h>

#include <stdexcept>

#include "platform/Random.h"

namespace platform {

std::string RandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(count),
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
    throw std::runtime_error("the system's random source gives nothing");
  }
  return bytes;
}

}  // namespace platform
