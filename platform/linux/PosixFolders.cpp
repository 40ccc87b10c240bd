#include "platform/linux/PosixFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

std::filesystem::path OwnCacheFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
    return std::filesystem::path(cache) / "velostrander";
  }
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* user = getpwuid(getuid());
    home = user ? user->pw_dir : "/";
  }
  return std::filesystem::path(home) / ".cache" / "velostrander";
}

}  // namespace platform
