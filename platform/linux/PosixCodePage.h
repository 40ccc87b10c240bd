#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace platform {

// The character set of the current LC_CTYPE locale, as it is when this is built: after
// setlocale(LC_ALL, ""), that is the one the user started the program in.
class PosixCodePage final : public CodePage {
 public:
  PosixCodePage();
  // Any character set iconv knows, such as the "CP932" of a Japanese Windows.
  explicit PosixCodePage(const std::string& charset);
  std::string toUtf8(std::string_view ansi) const override;
  std::string fromUtf8(std::string_view utf8) const override;

 private:
  std::string charset_;
};

}  // namespace platform
