// What the settings window shows of the file's lines, and the lines it writes back: the
// settings file's line format applied the way the editor applies it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "settings/ChildSettings.h"

namespace tool {

// The four fields as the controls hold them, UTF-8.
struct Fields {
  std::string masterPort;  // Text1
  std::string myHostPort;  // Text2
  std::string masterComp;  // Text3
  int listIndex = -1;      // Combo1's: 0 for "01" ... 29 for "30", -1 for none

  bool operator==(const Fields&) const = default;
};

struct Loaded {
  Fields fields;
  // The computer number's two characters as read; none without a number line.
  std::string number;
  // Each reported once; the field of a line reported stays empty or unselected.
  std::vector<settings::LineProblem> problems;
};

// Reads the file, in its own encoding (settings::FileEncoding), as the editor loads it.
Loaded LoadSettings(std::string_view file, const platform::CodePage& codePage);

struct Saved {
  std::string bytes;  // the whole new file
  // Set when a field's text has a character that its line cannot hold, one the file's encoding
  // lacks or a line break: nothing is to be written.
  std::optional<settings::Key> unencodable;
};

// Each line the editor owns is rewritten as its key field and its control's text, in the file's
// own encoding; every other line stays byte for byte, and so does a leading byte-order mark.
// Every line ends in CR LF.
Saved SaveSettings(std::string_view file, const Fields& fields, const platform::CodePage& codePage);

// "01" to "30" for a list position, "00" for none.
std::string TwoDigits(int listIndex);

}  // namespace tool
