// The behaviour hands over text as UTF-8.
#pragma once

#include <QString>
#include <string_view>

namespace platform {

inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace platform
