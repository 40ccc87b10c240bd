#include "settings/ChildSettings.h"

#include "common/Text.h"
#include "settings/FileEncoding.h"

namespace settings {

ReadOutcome ReadChildSettings(const platform::FileBytes& file, const platform::CodePage& codePage,
                              ChildSettings& settings) {
  ReadOutcome outcome{file.result, {}};
  if (file.result != OpenResult::Opened) return outcome;

  const FileEncoding encoding(file.bytes, codePage);
  const std::u32string text = common::ToChars(encoding.toUtf8(WithoutMark(file.bytes)));
  const auto lines = SplitLines(std::u32string_view(text));
  ChildSettings read = settings;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::u32string_view line = lines[index];
    // No line of it is a problem: anything but 1 leaves the check off.
    if (IsMasterOnlyLine(line)) read.MasterOnly = ReadNumber(ValueOf(line)) == 1.0;
    const auto key = RecogniseKey(line);
    if (!key) continue;
    const int lineNumber = static_cast<int>(index) + 1;
    const std::u32string_view value = ValueOf(line);
    if (*key != Key::MyCompNum && line.size() < kKeyFieldLength) {
      outcome.problems.push_back({lineNumber, LineProblem::Kind::KeyFieldCut, *key, {}});
      continue;
    }
    switch (*key) {
      case Key::MasterComp:
        read.MasterComp = common::ToUtf8(value);
        break;
      case Key::MyCompNum:
        read.MyCompNum = common::ToUtf8(value.substr(0, 2));
        break;
      case Key::MasterPort:
      case Key::MyHostPort:
        if (const auto port = ReadPortValue(value)) {
          (*key == Key::MasterPort ? read.MasterPort : read.MyHostPort) = *port;
        } else {
          outcome.problems.push_back(
              {lineNumber, LineProblem::Kind::PortOutOfRange, *key, common::ToUtf8(value)});
        }
        break;
    }
  }
  if (outcome.problems.empty()) settings = read;
  return outcome;
}

}  // namespace settings
