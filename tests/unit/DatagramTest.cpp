#include <gtest/gtest.h>

#include "child/Datagram.h"

namespace {

using child::DecodeDatagram;
using child::Request;

TEST(DecodeDatagram, TheFourVerbsMatchExactly) {
  EXPECT_EQ(DecodeDatagram("Command:PartScreen"), Request::PartScreen);
  EXPECT_EQ(DecodeDatagram("Command:FullScreen"), Request::FullScreen);
  EXPECT_EQ(DecodeDatagram("Command:VisibleTrue"), Request::VisibleTrue);
  EXPECT_EQ(DecodeDatagram("Command:VisibleFalse"), Request::VisibleFalse);
}

TEST(DecodeDatagram, OtherVerbsAreCommandsThatChangeNothing) {
  for (const char* text :
       {"Command:", "Command:FullScreen\r\n", "Command:fullscreen", "Command: FullScreen",
        "Command:FullScreenVisibleTrue", "Command:http://example.com/"}) {
    EXPECT_EQ(DecodeDatagram(text), Request::NoChange) << text;
  }
}

TEST(DecodeDatagram, AnythingElseIsAUrl) {
  for (const char* text :
       {"http://192.168.0.1/page.html", "command:FullScreen", " Command:FullScreen", "Command",
        "Comman", "", "Command;FullScreen", "ページ.html"}) {
    EXPECT_EQ(DecodeDatagram(text), Request::OpenUrl) << text;
  }
  EXPECT_EQ(DecodeDatagram(std::string_view("Command\0:FullScreen", 19)), Request::OpenUrl);
}

}  // namespace
