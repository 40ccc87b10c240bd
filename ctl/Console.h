// The terminal: lines out, the local time, and on Windows the command line in the system's
// code page.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace ctl {

enum class Stream { Out, Err };

// Writes the line, given in the system's code page, and a line end, and flushes at once so that
// a watching teacher or program sees it when it happens.
void WriteLine(Stream stream, std::string_view line);

std::tm LocalTimeNow();

#ifdef _WIN32
struct AnsiArguments {
  std::vector<std::string> arguments;  // after the program's name
  std::string error;                   // empty when every argument could be converted
};

// The agents read the system's code page, so an argument with a character that has no place in
// it is refused rather than sent with '?' in its place.
AnsiArguments ToAnsiArguments(int argc, wchar_t** argv);
#endif

}  // namespace ctl
