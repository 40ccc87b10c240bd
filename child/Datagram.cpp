#include "child/Datagram.h"

#include <array>
#include <utility>

#include "child/Protocol.h"

namespace child {
namespace {

constexpr std::array<std::pair<std::string_view, Request>, 4> kVerbs{{
    {protocol::kPartScreen, Request::PartScreen},
    {protocol::kFullScreen, Request::FullScreen},
    {protocol::kVisibleTrue, Request::VisibleTrue},
    {protocol::kVisibleFalse, Request::VisibleFalse},
}};

}  // namespace

// "Command:" is ASCII, so its eight characters are its eight bytes in UTF-8 too.
Request DecodeDatagram(std::string_view text) {
  if (!text.starts_with(protocol::kCommandPrefix)) return Request::OpenUrl;
  const std::string_view verb = text.substr(protocol::kCommandPrefix.size());
  for (const auto& [name, request] : kVerbs) {
    if (verb == name) return request;
  }
  return Request::NoChange;
}

}  // namespace child
