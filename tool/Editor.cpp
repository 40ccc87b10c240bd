#include "tool/Editor.h"

#include <algorithm>
#include <cmath>

#include "common/Text.h"
#include "settings/SettingsFormat.h"

namespace tool {
namespace {

using settings::Key;
using settings::LineProblem;

constexpr int kLastListIndex = 29;

// The text box of a key; none for the computer number, a drop-down list's.
template <typename FieldsType>
auto FieldOf(FieldsType& fields, Key key) -> decltype(&fields.masterPort) {
  switch (key) {
    case Key::MasterPort:
      return &fields.masterPort;
    case Key::MyHostPort:
      return &fields.myHostPort;
    case Key::MasterComp:
      return &fields.masterComp;
    case Key::MyCompNum:
      break;
  }
  return nullptr;
}

// Applies one key line; false when it cannot be taken apart.
bool Apply(std::u32string_view line, Key key, Loaded& loaded, LineProblem& problem) {
  const std::u32string_view value = settings::ValueOf(line);
  if (key == Key::MyCompNum) {
    const std::u32string_view number = value.substr(0, 2);
    loaded.number = common::ToUtf8(number);
    const double position = std::nearbyint(settings::ReadNumber(number) - 1);
    const bool valid = position >= -1 && position <= kLastListIndex;
    loaded.fields.listIndex = valid ? static_cast<int>(position) : -1;
    problem = {0, LineProblem::Kind::NumberOutOfRange, key, loaded.number};
    return valid;
  }
  if (line.size() < settings::kKeyFieldLength) {
    problem = {0, LineProblem::Kind::KeyFieldCut, key, {}};
    return false;
  }
  std::string& field = *FieldOf(loaded.fields, key);
  if (key == Key::MasterComp) {
    field = common::ToUtf8(value);
    return true;
  }
  const auto port = settings::ReadPortValue(value);
  field = port ? std::to_string(*port) : std::string();
  problem = {0, LineProblem::Kind::PortOutOfRange, key, common::ToUtf8(value)};
  return port.has_value();
}

}  // namespace

Loaded LoadSettings(const std::vector<std::string>& lines, const platform::CodePage& codePage) {
  Loaded loaded;
  std::vector<Key> failed;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const std::u32string line = common::ToChars(codePage.toUtf8(lines[index]));
    const auto key = settings::RecogniseKey(line);
    LineProblem problem;
    if (!key || Apply(line, *key, loaded, problem)) continue;
    problem.lineNumber = static_cast<int>(index) + 1;
    loaded.problems.push_back(problem);
    failed.push_back(*key);
  }
  for (const Key key : failed) {
    if (std::string* field = FieldOf(loaded.fields, key)) field->clear();
    if (key == Key::MyCompNum) loaded.fields.listIndex = -1;
  }
  return loaded;
}

Saved SaveSettings(const std::vector<std::string>& lines, const Fields& fields,
                   const platform::CodePage& codePage) {
  Saved saved;
  for (const std::string& bytes : lines) {
    const bool copied = bytes.empty() || bytes.front() == '[';
    const auto key =
        copied ? std::nullopt : settings::RecogniseKey(common::ToChars(codePage.toUtf8(bytes)));
    if (!key) {
      saved.bytes += bytes + "\r\n";
      continue;
    }
    const std::string* field = FieldOf(fields, *key);
    const std::string text =
        std::string(settings::KeyField(*key)) + (field ? *field : TwoDigits(fields.listIndex));
    const std::string encoded = codePage.fromUtf8(text);
    // A character the code page lacks comes back as another, and a line break would make the
    // line two: either way the file would hold another text than the field's.
    if (text.find_first_of("\r\n") != std::string::npos || codePage.toUtf8(encoded) != text)
      return {{}, key};
    saved.bytes += encoded + "\r\n";
  }
  return saved;
}

std::string TwoDigits(int listIndex) {
  const int number = listIndex + 1;
  return std::string(1, static_cast<char>('0' + number / 10)) +
         static_cast<char>('0' + number % 10);
}

}  // namespace tool
