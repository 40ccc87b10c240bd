#include <gtest/gtest.h>

#include <optional>

#include "common/Text.h"
#include "fake/FakePlatform.h"
#include "settings/ChildSettings.h"
#include "settings/SettingsFormat.h"

namespace {

using namespace settings;

// One code point a character, Japanese and beyond the 16-bit plane alike; malformed bytes become
// one replacement each.
TEST(Text, EachCharacterIsOneCodePointAndEachMalformedByteOneReplacement) {
  const std::pair<std::string, std::u32string> cases[] = {
      {"マスターPC𠮷", U"マスターPC𠮷"},
      {"a\x80z", U"a\uFFFDz"},                            // stray continuation byte
      {"\xE3\x83", U"\uFFFD\uFFFD"},                      // sequence cut by the end of the text
      {"\xC0\xAF", U"\uFFFD\uFFFD"},                      // overlong encoding of '/'
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xFF\xFE", U"\uFFFD\uFFFD"},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(common::ToChars(bytes), expected) << bytes;
  EXPECT_EQ(common::ToUtf8(cases[0].second), cases[0].first);
  // And code points UTF-8 cannot encode, the other way.
  EXPECT_EQ(common::ToUtf8(std::u32string{char32_t{0xD800}, char32_t{0x110000}}), "\uFFFD\uFFFD");
}

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
    EXPECT_EQ(SplitLines(std::string_view(common::ToUtf8(text))).size(), lines.size());
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
}

// Each text reads as its number; nullopt: the number does not fit the 16-bit port field.
TEST(ReadPortValue, ReadsAsFarAsTheNumberGoesAndRoundsHalvesToEven) {
  const std::u32string tinyFraction = U"0." + std::u32string(330, U'0') + U"1";
  const std::u32string hugeMantissa = U"1" + std::u32string(400, U'0') + U"e-1";
  const std::pair<std::optional<int>, std::vector<std::u32string>> cases[] = {
      {80, {U"080", U"80abc", U"8 0", U"80.5"}},
      {82, {U"81.5"}},
      {-80, {U"-80.5"}},
      {2, {U"1.5", U"25e-1", U"2e", U"2e+"}},
      {0,
       {U"", U"0.5", U".5", U".", U"-", U"abc", U"+-5", U"１２", U"1e-400", tinyFraction,
        U"1e-99999999999999"}},
      {-1, {U"-.6"}},
      {1, {U"1.2.3"}},
      {5, {U"5."}},
      {7, {U"\t+ 7\n"}},
      {12, {U"12ポート"}},
      {15, {U"1.5E+1"}},
      {1000, {U"1e3"}},
      {-32768, {U"-32768", U"-32768.5"}},
      {32767, {U"32767"}},
      {32766, {U"32766.5"}},
      {std::nullopt,
       {U"32768", U"-32769", U"32767.5", U"70000", U"1e400", U"-1e400", hugeMantissa,
        U"1e99999999999999", U"99999999999999999999999999"}},
  };
  for (const auto& [number, texts] : cases) {
    for (const auto& text : texts) {
      const auto read = ReadPortValue(text);
      EXPECT_EQ(read ? std::optional<int>(*read) : std::nullopt, number) << common::ToUtf8(text);
    }
  }
}

const ChildSettings kBefore{"before", 1234, 4321, "99"};
const fake::Latin1CodePage kLatin1;

ReadOutcome Read(const std::string& bytes, ChildSettings& read) {
  read = kBefore;
  return ReadChildSettings({OpenResult::Opened, bytes}, kLatin1, read);
}

// A mark is no text and says UTF-8, and so does valid UTF-8 that is not plain ASCII; anything else
// is in the system's code page, Latin-1 here.
TEST(ReadChildSettings, EachKeyLineSetsItsSettingInTheFilesEncodingAndTheLastOneWins) {
  const std::pair<std::string, ChildSettings> cases[] = {
      {"[Velostrander]\r\nMyCompNumxx=07\r\nMasterCompx=マスターPC \r\n"
       "MyHostPortx=5001\r\nMasterPortx=0080\r\n",
       {"マスターPC ", 80, 5001, "07"}},
      {"[Velostrander]\nMasterPortx=5000\nMyHostPortx=5001\nMasterCompx=pc\nMyCompNumxx=07\n",
       {"pc", 5000, 5001, "07"}},
      {"", kBefore},
      {"[a]\r\n\r\n[b]", kBefore},
      {"mastercompx=x\r\n MasterCompx=y\r\nMaster", kBefore},
      {"MasterCompx=first\r\nMasterCompx=second\rMyCompNumxx=3", {"second", 1234, 4321, "3"}},
      {"MyCompNumxx=123", {"before", 1234, 4321, "12"}},
      {"MyCompNumxx=番号", {"before", 1234, 4321, "番号"}},
      {"MyCompNumxx=", {"before", 1234, 4321, ""}},
      {"MyCompNum", {"before", 1234, 4321, ""}},
      {"MasterCompx=\r\nMasterPortx=", {"", 0, 4321, "99"}},
      {"\xEF\xBB\xBFMyCompNumxx=07\r\nMasterCompx=pc", {"pc", 1234, 4321, "07"}},
      {"MasterCompx=\xE9\xE8\r\nMyHostPortx=\xFF"
       "1",
       {"éè", 1234, 0, "99"}},
      {"MasterCompx=先生\r\n; \xE9", {"\u00E5\u0085\u0088\u00E7\u0094\u009F", 1234, 4321, "99"}},
      // Bytes invalid in the encoding read do not break the reader.
      {"\xEF\xBB\xBFMasterCompx=\xE9", {"\uFFFD", 1234, 4321, "99"}},
      {"\xEF\xBB\xBF\xEF\xBB\xBFMyCompNumxx=07", kBefore},
      {"MasterCompx=\xEF\xBB\xBFpc", {"\uFEFFpc", 1234, 4321, "99"}},
      // The agent's own switch: on for a value that reads as 1, and never a problem.
      {"MasterOnlyx=1\r\nMasterCompx=pc", {"pc", 1234, 4321, "99", true}},
      {"MasterOnl_ZZ 01.0", {"before", 1234, 4321, "99", true}},
      {"MasterOnlyx=1\r\nMasterOnlyx=yes", kBefore},
      {"MasterOnl\r\nmasterOnlyx=1\r\nMasterOnlyx=2", kBefore},
  };
  for (const auto& [bytes, expected] : cases) {
    ChildSettings read;
    const auto outcome = Read(bytes, read);
    EXPECT_EQ(outcome.result, OpenResult::Opened) << bytes;
    EXPECT_TRUE(outcome.problems.empty()) << bytes;
    EXPECT_EQ(read, expected) << bytes;
  }
}

// Whether the file is there or can be opened at all is AgentTest's: the agent says so, or not.
TEST(ReadChildSettings, LinesThatCannotBeTakenApartAreReportedAndNothingIsStored) {
  ChildSettings read;
  const auto outcome = Read(
      "[x]\r\nMasterCompx=changed\r\nMasterPor\r\nMyHostPortx=70000\r\nMasterCompx\r\n"
      "MyHostPor12\r\nMasterPortx=-32769\r\nMasterPortx=-32768\r\nMyCompNum\r\n",
      read);
  EXPECT_EQ(outcome.result, OpenResult::Opened);
  using Problem = std::tuple<int, LineProblem::Kind, Key, std::string>;
  const std::vector<Problem> expected = {
      {3, LineProblem::Kind::KeyFieldCut, Key::MasterPort, ""},
      {4, LineProblem::Kind::PortOutOfRange, Key::MyHostPort, "70000"},
      {5, LineProblem::Kind::KeyFieldCut, Key::MasterComp, ""},
      {6, LineProblem::Kind::KeyFieldCut, Key::MyHostPort, ""},
      {7, LineProblem::Kind::PortOutOfRange, Key::MasterPort, "-32769"},
  };
  std::vector<Problem> found;
  for (const auto& p : outcome.problems) found.emplace_back(p.lineNumber, p.kind, p.key, p.value);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(read, kBefore);
}

}  // namespace
