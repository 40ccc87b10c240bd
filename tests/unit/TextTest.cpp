#include <gtest/gtest.h>

#include "settings/Text.h"

namespace {

using settings::ToChars;
using settings::ToUtf8;

TEST(Text, JapaneseKeepsOneCodePointPerCharacter) {
  const std::string host = "マスターPC𠮷";
  const std::u32string chars = ToChars(host);
  ASSERT_EQ(chars.size(), 7u);
  EXPECT_EQ(chars[0], U'マ');
  EXPECT_EQ(chars[6], U'𠮷');
  EXPECT_EQ(ToUtf8(chars), host);
}

TEST(Text, MalformedBytesBecomeOneReplacementEach) {
  struct Case {
    std::string bytes;
    std::u32string expected;
  };
  const Case cases[] = {
      {"a\x80z", U"a\uFFFDz"},                            // stray continuation byte
      {"\xE3\x83", U"\uFFFD\uFFFD"},                      // sequence cut by the end of the text
      {"\xC0\xAF", U"\uFFFD\uFFFD"},                      // overlong encoding of '/'
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xFF\xFE", U"\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToChars(c.bytes), c.expected) << c.bytes;
}

TEST(Text, UnencodableCodePointsBecomeReplacement) {
  EXPECT_EQ(ToUtf8(std::u32string{char32_t{0xD800}, char32_t{0x110000}}), "\uFFFD\uFFFD");
}

}  // namespace
