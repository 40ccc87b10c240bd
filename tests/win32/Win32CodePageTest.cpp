// Run with code page 932, as on a Japanese Windows: the Wine prefix's locale is ja_JP.
#include <string>

#include "platform/win32/Win32CodePage.h"
#include "win32/SelfCheck.h"

SELFCHECK_TEST(InvalidBytesAndOnlyTheyBecomeReplacementCharacters) {
  CHECK(GetACP() == 932);
  const std::pair<std::string, std::string> cases[] = {
      {"\x82\xa0\x8a\xbf\x8e\x9a PC", "あ漢字 PC"},
      {"\xf0\x40", "\xee\x80\x80"},  // a user-defined character, U+E000
      {"\x81\x7f", "\xef\xbf\xbd\x7f"},
      {"\x81 7", "\xef\xbf\xbd 7"},
      {"\xff"
       "7",
       "\xef\xbf\xbd"
       "7"},
      {"\xa0\xfd", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"ab\x81", "ab\xef\xbf\xbd"},
  };
  const platform::Win32CodePage codePage;
  for (const auto& [ansi, utf8] : cases) CHECK(codePage.toUtf8(ansi) == utf8);
  CHECK(codePage.fromUtf8("あ漢字 PC") == cases[0].first);
}
