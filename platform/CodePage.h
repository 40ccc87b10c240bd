#pragma once

#include <string>
#include <string_view>

namespace platform {

// The system's ANSI code page, in which files and datagrams carry text. Bytes that are invalid
// in it decode to U+FFFD; nothing here throws on bad input.
class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual std::string toUtf8(std::string_view ansi) const = 0;
  virtual std::string fromUtf8(std::string_view utf8) const = 0;
};

}  // namespace platform
