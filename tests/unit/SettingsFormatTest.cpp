#include <gtest/gtest.h>

#include <cmath>

#include "settings/SettingsFormat.h"

namespace {

using namespace settings;

TEST(SplitLines, EveryLineEndStyleEndsALine) {
  EXPECT_EQ(SplitLines(U"a\r\nb\rc\nd"), (std::vector<std::u32string>{U"a", U"b", U"c", U"d"}));
  EXPECT_EQ(SplitLines(U"a\n\r\nb\r\n"), (std::vector<std::u32string>{U"a", U"", U"b"}));
  EXPECT_EQ(SplitLines(U"\r\n"), (std::vector<std::u32string>{U""}));
  EXPECT_EQ(SplitLines(U"\n\r"), (std::vector<std::u32string>{U"", U""}));
  EXPECT_TRUE(SplitLines(U"").empty());
}

TEST(RecogniseKey, FirstNineCharactersExactlyAndWithCase) {
  EXPECT_EQ(RecogniseKey(U"MasterPortx=80"), Key::MasterPort);
  EXPECT_EQ(RecogniseKey(U"MyHostPortx=80"), Key::MyHostPort);
  EXPECT_EQ(RecogniseKey(U"MasterCompx=pc"), Key::MasterComp);
  EXPECT_EQ(RecogniseKey(U"MyCompNumxx=07"), Key::MyCompNum);
  EXPECT_EQ(RecogniseKey(U"MasterPor 宇宙80"), Key::MasterPort);  // columns 10-12 not examined
  EXPECT_EQ(RecogniseKey(U"MyCompNum"), Key::MyCompNum);

  EXPECT_FALSE(RecogniseKey(U"masterPortx=80"));
  EXPECT_FALSE(RecogniseKey(U" MasterPortx=80"));
  EXPECT_FALSE(RecogniseKey(U"MasterPo"));
  EXPECT_FALSE(RecogniseKey(U"[MasterPortx=80"));
  EXPECT_FALSE(RecogniseKey(U""));
}

TEST(KeyField, CanonicalFieldsAreTwelveCharacters) {
  for (Key key : {Key::MasterPort, Key::MyHostPort, Key::MasterComp, Key::MyCompNum}) {
    EXPECT_EQ(KeyField(key).size(), kKeyFieldLength);
    EXPECT_EQ(RecogniseKey(std::u32string(KeyField(key).begin(), KeyField(key).end())), key);
  }
}

TEST(ValueOf, StartsAtColumnThirteen) {
  EXPECT_EQ(ValueOf(U"MasterCompx= host "), U" host ");
  EXPECT_EQ(ValueOf(U"MasterCompx="), U"");
  EXPECT_EQ(ValueOf(U"MasterComp"), U"");
}

TEST(ReadPortValue, ReadsAsFarAsTheNumberGoesAndRoundsHalvesToEven) {
  struct Case {
    std::u32string text;
    int expected;
  };
  const Case cases[] = {
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
  };
  for (const auto& c : cases) {
    const auto port = ReadPortValue(c.text);
    ASSERT_TRUE(port.has_value()) << static_cast<int>(c.text.size());
    EXPECT_EQ(*port, c.expected) << "value #" << (&c - cases);
  }
}

TEST(ReadPortValue, NumbersOutsideSixteenBitsAreRefused) {
  for (std::u32string text : {U"32768", U"-32769", U"32767.5", U"70000", U"1e400", U"-1e400",
                              U"99999999999999999999999999"}) {
    EXPECT_FALSE(ReadPortValue(text).has_value());
  }
}

TEST(ReadNumber, KeepsTheFractionBeforeRounding) {
  EXPECT_DOUBLE_EQ(ReadNumber(U"4.5"), 4.5);
  EXPECT_DOUBLE_EQ(ReadNumber(U"-0 5"), -5.0);
  EXPECT_TRUE(std::isinf(ReadNumber(U"1e400")));
}

}  // namespace
