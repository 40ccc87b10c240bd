// The console's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace console {

// The page's port on Windows, where a user who is no administrator may take only the address
// reserved for them: the installer reserves http://127.0.0.1:50080/ for its users.
inline constexpr std::uint16_t kReservedPagePort = 50080;

struct Options {
#ifdef _WIN32
  std::uint16_t port = kReservedPagePort;
#else
  std::uint16_t port = 0;  // the page's; 0: one the system picks
#endif
  std::optional<std::uint16_t> callPort;  // for this run, instead of the saved one
  bool openBrowser = true;                // the page, at the start
};

struct ParsedOptions {
  Options options;
  std::string error;  // one line, empty when the arguments were good
};

// "--port N", "--call-port N" and "--no-browser"; the last of each counts.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

}  // namespace console
