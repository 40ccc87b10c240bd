#include "settings/ChildSettings.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "settings/Text.h"

namespace settings {

SettingsBytes ReadSettingsBytes(const std::filesystem::path& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return {OpenResult::NotFound, {}};
  if (error || std::filesystem::is_directory(status)) return {OpenResult::CannotOpen, {}};

  std::ifstream file(path, std::ios::binary);
  if (!file) return {OpenResult::CannotOpen, {}};
  std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) return {OpenResult::CannotOpen, {}};
  return {OpenResult::Opened, std::move(bytes)};
}

ReadOutcome ReadChildSettings(const std::filesystem::path& path, const platform::CodePage& codePage,
                              ChildSettings& settings) {
  const SettingsBytes file = ReadSettingsBytes(path);
  ReadOutcome outcome{file.result, {}};
  if (file.result != OpenResult::Opened) return outcome;

  const std::u32string text = ToChars(codePage.toUtf8(file.bytes));
  const auto lines = SplitLines(std::u32string_view(text));
  ChildSettings read = settings;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::u32string_view line = lines[index];
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
        read.MasterComp = ToUtf8(value);
        break;
      case Key::MyCompNum:
        read.MyCompNum = ToUtf8(value.substr(0, 2));
        break;
      case Key::MasterPort:
      case Key::MyHostPort:
        if (const auto port = ReadPortValue(value)) {
          (*key == Key::MasterPort ? read.MasterPort : read.MyHostPort) = *port;
        } else {
          outcome.problems.push_back(
              {lineNumber, LineProblem::Kind::PortOutOfRange, *key, ToUtf8(value)});
        }
        break;
    }
  }
  if (outcome.problems.empty()) settings = read;
  return outcome;
}

}  // namespace settings
