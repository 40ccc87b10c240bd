// The terminal of the command-line programs.
#pragma once

#include <ctime>
#include <string_view>

namespace platform {

enum class Stream { Out, Err };

// Shows the line, given in the system's code page, on the console that the stream is, where a
// console needs more than its bytes. False where the stream is no such console (a file, a pipe,
// any terminal on Linux): the caller then writes the bytes themselves.
bool WriteToConsole(Stream stream, std::string_view line);

std::tm LocalTime(std::time_t time);

}  // namespace platform
