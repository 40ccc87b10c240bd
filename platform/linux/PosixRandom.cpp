#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

#include "platform/Random.h"

namespace platform {

std::string RandomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t got = 0; got < count;) {
    const ssize_t read = getrandom(bytes.data() + got, count - got, 0);
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) throw std::runtime_error("the system's random source gives nothing");
    got += static_cast<std::size_t>(read);
  }
  return bytes;
}

}  // namespace platform
