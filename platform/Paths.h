// Paths as the behaviour holds them: UTF-8 strings, with the system's separators.
#pragma once

#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "\\/";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && kPathSeparators.find(path.back()) == std::string_view::npos) {
    path += kPathSeparators.front();
  }
  return path += name;
}

inline std::string FileName(std::string_view path) {
  const auto separator = path.find_last_of(kPathSeparators);
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

// The folder of the user's own settings for this project: XDG's config folder on Linux
// ($XDG_CONFIG_HOME, else ~/.config, then "velostrander"), %APPDATA%\Velostrander on Windows;
// made when missing, and made the user's alone (on Linux, mode 0700, whoever made it). "" when
// there is none and none can be made.
std::string UserSettingsFolder();

}  // namespace platform
