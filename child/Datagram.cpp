#include "child/Datagram.h"

#include <array>
#include <utility>

namespace child {
namespace {

constexpr std::string_view kCommandPrefix = "Command:";

constexpr std::array<std::pair<std::string_view, Request>, 4> kVerbs{{
    {"PartScreen", Request::PartScreen},
    {"FullScreen", Request::FullScreen},
    {"VisibleTrue", Request::VisibleTrue},
    {"VisibleFalse", Request::VisibleFalse},
}};

}  // namespace

// "Command:" is ASCII, so its eight characters are its eight bytes in UTF-8 too.
Request DecodeDatagram(std::string_view text) {
  if (!text.starts_with(kCommandPrefix)) return Request::OpenUrl;
  const std::string_view verb = text.substr(kCommandPrefix.size());
  for (const auto& [name, request] : kVerbs) {
    if (verb == name) return request;
  }
  return Request::NoChange;
}

}  // namespace child
