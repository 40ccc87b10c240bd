#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Paths.h"

namespace platform {
namespace {

std::string Variable(const char* name) {
  const char* const value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Makes the folder, for the user alone; true when it is there.
bool MakeFolder(const std::string& path) {
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// The console's secret passes through a file of its folder: whatever made the folder, no one
// else may read it.
bool MakeOwnFolder(const std::string& path) {
  return MakeFolder(path) && chmod(path.c_str(), 0700) == 0;
}

}  // namespace

// XDG's rule: a relative $XDG_CONFIG_HOME is to be ignored.
std::string UserSettingsFolder() {
  std::string config = Variable("XDG_CONFIG_HOME");
  if (!config.starts_with('/')) {
    const std::string home = Variable("HOME");
    if (!home.starts_with('/')) return "";
    config = JoinPath(home, ".config");
  }
  const std::string folder = JoinPath(config, "velostrander");
  return MakeFolder(config) && MakeOwnFolder(folder) ? folder : "";
}

}  // namespace platform
