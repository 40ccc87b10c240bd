// What an address typed as a person types it means to a browser's address bar.
#pragma once

#include <string>
#include <string_view>

namespace devtools {

// The URL that a text the agent was given to open stands for: the protocol's navigation takes
// only whole URLs, where the browsers the agent drove before took what a person would type (a
// host without its scheme, a file's path).
std::string Address(std::string_view text);

}  // namespace devtools
