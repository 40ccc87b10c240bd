#include "ctl/Shown.h"

namespace ctl {
namespace {

std::string Escaped(char c) {
  switch (c) {
    case '\r':
      return "\\r";
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    default: {
      constexpr std::string_view kHex = "0123456789ABCDEF";
      const auto byte = static_cast<unsigned char>(c);
      return {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
  }
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::string Shown(std::string_view bytes) {
  std::string shown = "\"";
  for (const char c : bytes) {
    if (IsControl(c)) {
      shown += Escaped(c);
    } else {
      shown += c;
    }
  }
  return shown + "\"";
}

}  // namespace ctl
