// A datagram's bytes as the agent takes them: decoded from the code page, then read as a
// command, a page to open, or text to ignore.
#include "child/Datagram.h"
#include "Fuzz.h"
#include "common/Protocol.h"
#include "common/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using child::Request;
  const std::string_view bytes = fuzz::Bytes(data, size);
  const std::string text = fuzz::Cp932().toUtf8(bytes);
  fuzz::Check(common::ToUtf8(common::ToChars(text)) == text);
  const Request request = child::DecodeDatagram(text);
  // The console's commands are ASCII, so they are the same bytes in every code page.
  const bool command = bytes.starts_with(protocol::kCommandPrefix);
  fuzz::Check(command == text.starts_with(protocol::kCommandPrefix));
  fuzz::Check(command != (request == Request::OpenUrl || request == Request::Refused ||
                          request == Request::Garbled));
  return 0;
}
