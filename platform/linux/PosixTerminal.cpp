#include "platform/Terminal.h"

namespace platform {

// A terminal here reads the locale's charset, which is the system's code page.
bool WriteToConsole(Stream, std::string_view) {
  return false;
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

}  // namespace platform
