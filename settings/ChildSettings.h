#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "settings/SettingsFormat.h"

namespace settings {

struct ChildSettings {
  std::string MasterComp;  // UTF-8
  std::int16_t MasterPort = 0;
  std::int16_t MyHostPort = 0;
  std::string MyCompNum;  // at most two characters, UTF-8
  // Obey only datagrams from the addresses of MasterComp: a value that reads as the number 1.
  bool MasterOnly = false;

  bool operator==(const ChildSettings&) const = default;
};

using platform::OpenResult;

// A key line that cannot be taken apart: reading it would need a value where there is none, or
// would store a port number that does not fit 16 bits, or a computer number that is not one.
struct LineProblem {
  enum class Kind { KeyFieldCut, PortOutOfRange, NumberOutOfRange };
  int lineNumber = 0;  // from 1
  Kind kind = Kind::KeyFieldCut;
  Key key = Key::MasterComp;
  std::string value;  // the value text, UTF-8, for the out-of-range kinds

  bool operator==(const LineProblem&) const = default;
};

struct ReadOutcome {
  OpenResult result = OpenResult::CannotOpen;
  std::vector<LineProblem> problems;  // when not empty, nothing was stored
};

// Fills `settings` from the file as read, in its own encoding (FileEncoding); a key that stands on
// several lines is applied each time, so the last one wins, and a key with no line keeps its
// value. The settings are changed only when the file opened and every key line could be read.
ReadOutcome ReadChildSettings(const platform::FileBytes& file, const platform::CodePage& codePage,
                              ChildSettings& settings);

}  // namespace settings
