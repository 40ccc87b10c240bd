#include "ctl/Wire.h"

#include <array>

#include "ctl/Shown.h"

namespace ctl {
namespace {

using protocol::kCallSuffix;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string Timestamp(const std::tm& time) {
  std::array<char, 32> text{};
  const std::size_t size = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &time);
  return {text.data(), size};
}

}  // namespace

std::string CommandText(std::string_view verb) {
  return std::string(kCommandPrefix) + std::string(verb);
}

bool IsCall(std::string_view datagram) {
  return datagram.size() == 2 + kCallSuffix.size() && IsDigit(datagram[0]) &&
         IsDigit(datagram[1]) && datagram.substr(2) == kCallSuffix;
}

std::string ReceiptLine(const std::tm& received, std::string_view datagram,
                        std::string_view sender) {
  const std::string start = Timestamp(received) + "  ";
  if (IsCall(datagram))
    return start + std::string(datagram.substr(0, 2)) + "  " + std::string(sender);
  return start + "--  " + std::string(sender) + "  not a call: " + Shown(datagram);
}

}  // namespace ctl
