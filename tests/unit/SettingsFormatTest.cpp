#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "settings/SettingsFormat.h"
#include "settings/Text.h"

namespace {

using namespace settings;

TEST(SplitLines, EveryLineEndStyleEndsALine) {
  const std::pair<std::u32string, std::vector<std::u32string>> cases[] = {
      {U"a\r\nb\rc\nd", {U"a", U"b", U"c", U"d"}},
      {U"a\n\r\nb\r\n", {U"a", U"", U"b"}},
      {U"\r\n", {U""}},
      {U"\n\r", {U"", U""}},
      {U"", {}},
  };
  for (const auto& [text, lines] : cases) {
    EXPECT_EQ(SplitLines(std::u32string_view(text)), lines);
    EXPECT_EQ(SplitLines(std::string_view(ToUtf8(text))).size(), lines.size());
  }
}

TEST(RecogniseKey, FirstNineCharactersExactlyAndWithCase) {
  const std::pair<std::u32string, std::optional<Key>> cases[] = {
      {U"MasterPortx=80", Key::MasterPort},   {U"MyHostPortx=80", Key::MyHostPort},
      {U"MasterCompx=pc", Key::MasterComp},   {U"MyCompNumxx=07", Key::MyCompNum},
      {U"MasterPor 宇宙80", Key::MasterPort},  // columns 10-12 not examined
      {U"MyCompNum", Key::MyCompNum},         {U"masterPortx=80", std::nullopt},
      {U" MasterPortx=80", std::nullopt},     {U"MasterPo", std::nullopt},
      {U"[MasterPortx=80", std::nullopt},     {U"", std::nullopt},
  };
  for (const auto& [line, key] : cases) EXPECT_EQ(RecogniseKey(line), key) << line.size();
  // What the settings tool writes, the readers recognise.
  for (Key key : {Key::MasterPort, Key::MyHostPort, Key::MasterComp, Key::MyCompNum}) {
    const std::string_view field = KeyField(key);
    const std::u32string line(field.begin(), field.end());
    EXPECT_EQ(RecogniseKey(line), key);
    EXPECT_EQ(ValueOf(line + U"v"), U"v");
  }
}

TEST(ValueOf, StartsAtColumnThirteen) {
  EXPECT_EQ(ValueOf(U"MasterCompx= host "), U" host ");
  EXPECT_EQ(ValueOf(U"MasterCompx="), U"");
  EXPECT_EQ(ValueOf(U"MasterComp"), U"");
}

// nullopt: the number does not fit the 16-bit port field.
TEST(ReadPortValue, ReadsAsFarAsTheNumberGoesAndRoundsHalvesToEven) {
  const std::u32string tinyFraction = U"0." + std::u32string(330, U'0') + U"1";
  const std::u32string hugeMantissa = U"1" + std::u32string(400, U'0') + U"e-1";
  const std::pair<std::u32string, std::optional<int>> cases[] = {
      {U"080", 80},
      {U"80abc", 80},
      {U"8 0", 80},
      {U"", 0},
      {U"80.5", 80},
      {U"81.5", 82},
      {U"-80.5", -80},
      {U"0.5", 0},
      {U"1.5", 2},
      {U"\t+ 7\n", 7},
      {U"-32768", -32768},
      {U"32767", 32767},
      {U"-32768.5", -32768},
      {U"32766.5", 32766},
      {U"1e3", 1000},
      {U"1.5E+1", 15},
      {U"25e-1", 2},
      {U"2e", 2},
      {U"2e+", 2},
      {U".5", 0},
      {U".", 0},
      {U"5.", 5},
      {U"-", 0},
      {U"abc", 0},
      {U"+-5", 0},
      {U"1.2.3", 1},
      {U"１２", 0},
      {U"12ポート", 12},
      {U"1e-400", 0},
      {U"-.6", -1},
      {tinyFraction, 0},
      {U"1e-99999999999999", 0},
      {U"32768", {}},
      {U"-32769", {}},
      {U"32767.5", {}},
      {U"70000", {}},
      {U"1e400", {}},
      {U"-1e400", {}},
      {hugeMantissa, {}},
      {U"1e99999999999999", {}},
      {U"99999999999999999999999999", {}}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto read = ReadPortValue(cases[i].first);
    EXPECT_EQ(read ? std::optional<int>(*read) : std::nullopt, cases[i].second) << "case #" << i;
  }
}

TEST(ReadNumber, KeepsTheFractionBeforeRounding) {
  EXPECT_DOUBLE_EQ(ReadNumber(U"4.5"), 4.5);
  EXPECT_DOUBLE_EQ(ReadNumber(U"-0 5"), -5.0);
  EXPECT_TRUE(std::isinf(ReadNumber(U"1e400")));
}

}  // namespace
