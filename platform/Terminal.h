// The terminal of the command-line programs.
#pragma once

#include <ctime>
#include <string_view>

namespace platform {

enum class Stream { Out, Err };

// Writes the line, given in the system's code page, and a line end, and flushes at once so that
// a watching teacher or program sees it when it happens.
void WriteLine(Stream stream, std::string_view line);

std::tm LocalTimeNow();

}  // namespace platform
