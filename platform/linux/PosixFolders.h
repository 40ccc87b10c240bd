// Folders of the user's own that the programs keep things in.
#pragma once

#include <filesystem>

namespace platform {

// The programs' folder in the user's cache folder (XDG_CACHE_HOME, else ~/.cache).
std::filesystem::path OwnCacheFolder();

}  // namespace platform
