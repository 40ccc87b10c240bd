#include "platform/windows/Win32CodePage.h"

#include "platform/windows/Win32Text.h"

namespace platform {

std::string Win32CodePage::toUtf8(std::string_view ansi) const {
  return FromUtf16(CP_UTF8, ToUtf16(CP_ACP, ansi));
}

std::string Win32CodePage::fromUtf8(std::string_view utf8) const {
  return FromUtf16(CP_ACP, ToUtf16(CP_UTF8, utf8));
}

}  // namespace platform
