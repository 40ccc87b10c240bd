#include "settings/SettingsFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace settings {
namespace {

struct KeyEntry {
  Key key;
  std::u32string_view prefix;
  std::string_view field;
};

constexpr std::size_t kPrefixLength = 9;

constexpr std::array<KeyEntry, 4> kKeys{{
    {Key::MasterPort, U"MasterPor", "MasterPortx="},
    {Key::MyHostPort, U"MyHostPor", "MyHostPortx="},
    {Key::MasterComp, U"MasterCom", "MasterCompx="},
    {Key::MyCompNum, U"MyCompNum", "MyCompNumxx="},
}};

bool IsDigit(char32_t c) {
  return c >= U'0' && c <= U'9';
}

// Keeps only the characters that can take part in a number, as ASCII, and stops where the
// number ends: the result is what std::from_chars reads.
std::string NumberPrefix(std::u32string_view text) {
  std::string compact;
  for (char32_t c : text) {
    if (c == U' ' || c == U'\t' || c == U'\n') continue;
    if (c >= 0x80) break;
    compact.push_back(static_cast<char>(c));
  }
  std::size_t i = 0;
  std::string number;
  if (i < compact.size() && (compact[i] == '+' || compact[i] == '-')) {
    if (compact[i] == '-') number.push_back('-');
    ++i;
  }
  bool digits = false;
  bool point = false;
  for (; i < compact.size(); ++i) {
    const char c = compact[i];
    if (IsDigit(static_cast<unsigned char>(c))) {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number.push_back(c);
  }
  if (!digits) return {};
  if (i < compact.size() && (compact[i] == 'E' || compact[i] == 'e')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < compact.size() && (compact[j] == '+' || compact[j] == '-'))
      exponent.push_back(compact[j++]);
    const std::size_t firstDigit = j;
    while (j < compact.size() && IsDigit(static_cast<unsigned char>(compact[j])))
      exponent.push_back(compact[j++]);
    if (j > firstDigit) number += exponent;
  }
  return number;
}

// from_chars tells only that a number is out of range: either too large for a double or so
// close to 0 that it is 0. The order of magnitude of its first significant digit tells which;
// the mantissa's length cannot, nor the exponent's sign alone ("1" and 400 zeros "e-1").
bool IsTooLarge(std::string_view number) {
  const std::size_t e = number.find('e');
  const std::string_view mantissa = number.substr(0, e);
  long long exponent = 0;
  if (e != std::string_view::npos) {
    std::size_t i = e + 1;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
    constexpr long long kFarBeyondAnyDouble = 1'000'000'000;
    for (; i < number.size() && exponent < kFarBeyondAnyDouble; ++i) {
      exponent = exponent * 10 + (number[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;
  const long long order = first < point
                              ? static_cast<long long>(point - first - 1)
                              : static_cast<long long>(point) - static_cast<long long>(first);
  return order + exponent > 0;
}

}  // namespace

bool IsSectionLine(std::u32string_view line) {
  return !line.empty() && line.front() == U'[';
}

std::optional<Key> RecogniseKey(std::u32string_view line) {
  if (IsSectionLine(line) || line.size() < kPrefixLength) return std::nullopt;
  for (const KeyEntry& entry : kKeys) {
    if (line.substr(0, kPrefixLength) == entry.prefix) return entry.key;
  }
  return std::nullopt;
}

bool IsMasterOnlyLine(std::u32string_view line) {
  return line.substr(0, kPrefixLength) == kMasterOnlyPrefix;
}

std::string_view KeyField(Key key) {
  for (const KeyEntry& entry : kKeys) {
    if (entry.key == key) return entry.field;
  }
  return {};
}

std::u32string_view ValueOf(std::u32string_view line) {
  return line.size() < kKeyFieldLength ? std::u32string_view{} : line.substr(kKeyFieldLength);
}

double ReadNumber(std::u32string_view text) {
  const std::string number = NumberPrefix(text);
  if (number.empty()) return 0.0;
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (!IsTooLarge(number)) return 0.0;
    return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  return error == std::errc{} ? value : 0.0;
}

std::optional<std::int16_t> ReadPortValue(std::u32string_view text) {
  const double rounded = std::nearbyint(ReadNumber(text));  // default rounding: halves to even
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

}  // namespace settings
