// What the fuzz targets share: the inputs' bytes, the code page of a Japanese Windows, and a
// check that ends the run with the input that broke it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/PosixCodePage.h"

namespace fuzz {

inline void Check(bool holds) {
  if (!holds) std::abort();
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The Linux agent's own conversions, in Shift-JIS as a Japanese Windows has it; an iconv without
// it would fuzz UTF-8 instead, unnoticed.
inline const platform::CodePage& Cp932() {
  static const platform::PosixCodePage codePage("CP932");
  static const bool isShiftJis = codePage.toUtf8("\x82\xA0") == "\xE3\x81\x82";
  Check(isShiftJis);
  return codePage;
}

// The bytes cut at each NUL, as a command line's arguments are, or a file from the texts of
// the controls.
inline std::vector<std::string> Parts(std::string_view bytes) {
  std::vector<std::string> parts(1);
  for (const char c : bytes) c ? parts.back().push_back(c) : parts.emplace_back().clear();
  return parts;
}

}  // namespace fuzz
