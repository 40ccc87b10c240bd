// The console's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace console {

struct Options {
  std::uint16_t port = 0;                 // the page's; 0: one the system picks
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
