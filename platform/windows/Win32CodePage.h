#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace platform {

// The system's ANSI code page (932 on a Japanese Windows).
class Win32CodePage final : public CodePage {
 public:
  std::string toUtf8(std::string_view ansi) const override;
  std::string fromUtf8(std::string_view utf8) const override;
};

}  // namespace platform
