#include <gtest/gtest.h>

#include "child/Datagram.h"

namespace {

using child::DecodeDatagram;
using child::Request;

TEST(DecodeDatagram, CommandsVerbsScriptsAndUrls) {
  const std::pair<std::string_view, Request> cases[] = {
      {"Command:PartScreen", Request::PartScreen},
      {"Command:FullScreen", Request::FullScreen},
      {"Command:VisibleTrue", Request::VisibleTrue},
      {"Command:VisibleFalse", Request::VisibleFalse},
      // A command whose verb is none of the four, compared exactly.
      {"Command:", Request::NoChange},
      {"Command:FullScreen\r\n", Request::NoChange},
      {"Command:fullscreen", Request::NoChange},
      {"Command: FullScreen", Request::NoChange},
      {"Command:FullScreenVisibleTrue", Request::NoChange},
      {"Command:http://example.com/", Request::NoChange},
      {"Command:javascript:alert(1)", Request::NoChange},
      // Scripts, with the scheme read as browsers read it.
      {"javascript:fetch('http://x/')", Request::Script},
      {"JavaScript:alert(1)", Request::Script},
      {"vbscript:MsgBox(1)", Request::Script},
      {" \t\x01javascript:alert(1)", Request::Script},
      {"java\tscr\nipt:alert(1)", Request::Script},
      {"VBScript\r:x", Request::Script},
      {"\xE3\x80\x80javascript:alert(1)", Request::Script},  // an ideographic space
      // Anything else is a URL, "file:" included.
      {"http://192.168.0.1/page.html", Request::OpenUrl},
      {"file:///home/student/page.html", Request::OpenUrl},
      {"127.0.0.1:8080/page", Request::OpenUrl},
      {"http://host/?next=javascript:alert(1)", Request::OpenUrl},
      {"javascripts:alert(1)", Request::OpenUrl},
      {"command:FullScreen", Request::OpenUrl},
      {" Command:FullScreen", Request::OpenUrl},
      {"Command", Request::OpenUrl},
      {"Comman", Request::OpenUrl},
      {"", Request::OpenUrl},
      {"Command;FullScreen", Request::OpenUrl},
      {"ページ.html", Request::OpenUrl},
      {std::string_view("Command\0:FullScreen", 19), Request::OpenUrl},
  };
  for (const auto& [text, request] : cases) EXPECT_EQ(DecodeDatagram(text), request) << text;
}

}  // namespace
