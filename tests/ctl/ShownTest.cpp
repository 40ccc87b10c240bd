#include "ctl/Shown.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

TEST(ShownTest, QuotesTextAndKeepsItsBytes) {
  EXPECT_EQ(Shown("Command:FullScreen"), "\"Command:FullScreen\"");
  EXPECT_EQ(Shown("https://example.jp/\xE6\xA4\x9C\xE7\xB4\xA2"),
            "\"https://example.jp/\xE6\xA4\x9C\xE7\xB4\xA2\"");
}

TEST(ShownTest, WritesControlCharactersAsEscapes) {
  EXPECT_EQ(Shown("a\r\n\tb\x01\x1B\x7F"), "\"a\\r\\n\\tb\\x01\\x1B\\x7F\"");
  EXPECT_EQ(Shown(std::string("\0", 1)), "\"\\x00\"");
}

TEST(ShownTest, LeavesShiftJisCharactersWhoseSecondByteIsABackslashWhole) {
  EXPECT_EQ(Shown("\x95\x5C"), "\"\x95\x5C\"");
}

}  // namespace
}  // namespace ctl
