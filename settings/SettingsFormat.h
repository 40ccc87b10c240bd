// The line format of the settings file, shared by the agent's reader and the settings tool's
// reader and writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

inline constexpr std::string_view kSettingsFileName = "Velostrander_Child.ini";

enum class Key { MasterPort, MyHostPort, MasterComp, MyCompNum };

// Where a key line's value starts: columns 1 to 12 hold the key field.
inline constexpr std::size_t kValueColumn = 13;
inline constexpr std::size_t kKeyFieldLength = kValueColumn - 1;

// CR LF, a lone CR and a lone LF each end a line, so a file written by any editor reads as the
// lines it shows. A last line without a line end counts; an empty text has no lines. Works on
// characters, and on the file's bytes as well: no code page has CR or LF inside a character.
template <typename Char>
std::vector<std::basic_string<Char>> SplitLines(std::basic_string_view<Char> text) {
  std::vector<std::basic_string<Char>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != Char('\r') && text[i] != Char('\n')) continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n')) ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool IsSectionLine(std::u32string_view line);

// Recognises a key line by its first nine characters, exactly and with case; columns 10 to 12
// are not examined. Section lines and lines shorter than nine characters match no key.
std::optional<Key> RecogniseKey(std::u32string_view line);

// The agent's own switch, "MasterOnlyx=1": set by the admin or the installer, never by the
// settings tool, which keeps its line as it keeps every line it does not know. Recognised as
// the keys are, by its first nine characters.
inline constexpr std::u32string_view kMasterOnlyPrefix = U"MasterOnl";
bool IsMasterOnlyLine(std::u32string_view line);

// The canonical key field, as the settings tool writes it: "MasterPortx=" and so on.
std::string_view KeyField(Key key);

// Everything from column 13 to the end of the line; empty when the line is shorter.
std::u32string_view ValueOf(std::u32string_view line);

// Reads a number the way a port value is read: blanks, tabs and line feeds are ignored
// anywhere, then an optional sign, digits with an optional decimal point, and an optional
// exponent are taken from the start as far as they fit. No number at the start gives 0.
double ReadNumber(std::u32string_view text);

// ReadNumber rounded to the nearest integer, halves to even; nullopt when that integer does
// not fit a 16-bit port field (-32768 to 32767).
std::optional<std::int16_t> ReadPortValue(std::u32string_view text);

}  // namespace settings
