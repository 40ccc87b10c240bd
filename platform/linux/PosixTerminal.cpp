#include "platform/Terminal.h"

#include <cstdio>

namespace platform {

// The locale's charset is the system's code page here, so the bytes go out as they are.
void WriteLine(Stream stream, std::string_view line) {
  std::FILE* const file = stream == Stream::Out ? stdout : stderr;
  std::fwrite(line.data(), 1, line.size(), file);
  std::fputc('\n', file);
  std::fflush(file);
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace platform
