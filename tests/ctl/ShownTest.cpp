#include "ctl/Shown.h"

#include <gtest/gtest.h>

namespace ctl {
namespace {

TEST(ShownTest, QuotesTheBytesAndEscapesOnlyControlCharacters) {
  const struct {
    std::string bytes;
    std::string shown;
  } cases[] = {
      {"Command:FullScreen", "\"Command:FullScreen\""},
      {"https://example.jp/\xE6\xA4\x9C\xE7\xB4\xA2",
       "\"https://example.jp/\xE6\xA4\x9C\xE7\xB4\xA2\""},
      {"a\r\n\tb\x01\x1B\x7F", "\"a\\r\\n\\tb\\x01\\x1B\\x7F\""},
      {std::string("\0", 1), "\"\\x00\""},
      // A Shift-JIS character whose second byte is a backslash stays whole.
      {"\x95\x5C", "\"\x95\x5C\""},
  };
  for (const auto& [bytes, shown] : cases) {
    EXPECT_EQ(Shown(bytes), shown) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace ctl
