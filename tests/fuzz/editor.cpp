// The settings tool's load and save over any file and any texts in its controls. The input is
// the file, then the texts of Text1, Text2 and Text3 and Combo1's position, cut at NULs.
#include <algorithm>

#include "Fuzz.h"
#include "common/Text.h"
#include "settings/FileEncoding.h"
#include "tool/Editor.h"

namespace {

using settings::Key;

const platform::CodePage& codePage = fuzz::Cp932();

tool::Loaded Load(const std::string& bytes) {
  return tool::LoadSettings(bytes, codePage);
}

std::vector<std::string> Lines(std::string_view file) {
  return settings::SplitLines(settings::WithoutMark(file));
}

// The line the tool writes for a key; the values in the order of the keys.
std::string LineOf(Key key, const tool::Fields& f) {
  const std::string values[] = {f.masterPort, f.myHostPort, f.masterComp,
                                tool::TwoDigits(f.listIndex)};
  return std::string(settings::KeyField(key)) + values[static_cast<int>(key)];
}

// What the tool shows is what the agent reads from the same bytes. The agent reports the same
// lines; the tool also reports a computer number outside 01 to 30, which the agent keeps as its
// two characters all the same. With no line reported the agent stores every field, a port as
// the number the tool writes out in decimal, and a field with no line shows empty where the
// agent keeps what it had.
void ExpectWhatTheAgentReads(const std::string& bytes, const tool::Loaded& loaded) {
  const settings::ChildSettings before{"\xFF", 1, 2, "\xFF"};
  settings::ChildSettings agent = before;
  const auto outcome = ReadChildSettings({platform::OpenResult::Opened, bytes}, codePage, agent);
  std::vector<settings::LineProblem> shown;
  for (const auto& problem : loaded.problems) {
    if (problem.kind != settings::LineProblem::Kind::NumberOutOfRange) shown.push_back(problem);
  }
  fuzz::Check(shown == outcome.problems);
  if (!shown.empty()) return;
  const auto same = [](const std::string& shown, const std::string& read, const std::string& had) {
    return shown == read || (shown.empty() && read == had);
  };
  fuzz::Check(same(loaded.fields.masterPort, std::to_string(agent.MasterPort), "1"));
  fuzz::Check(same(loaded.fields.myHostPort, std::to_string(agent.MyHostPort), "2"));
  fuzz::Check(same(loaded.fields.masterComp, agent.MasterComp, before.MasterComp));
  fuzz::Check(same(loaded.number, agent.MyCompNum, before.MyCompNum));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto parts = fuzz::Parts(fuzz::Bytes(data, size));
  parts.resize(5);
  const std::string& file = parts[0];
  ExpectWhatTheAgentReads(file, Load(file));

  // Controls hold characters, never bytes that are no UTF-8; the list has 30 positions or none.
  const auto text = [](const std::string& bytes) { return common::ToUtf8(common::ToChars(bytes)); };
  const int listIndex = parts[4].empty() ? -1 : static_cast<unsigned char>(parts[4][0]) % 31 - 1;
  const tool::Fields fields{text(parts[1]), text(parts[2]), text(parts[3]), listIndex};
  const tool::Saved saved = tool::SaveSettings(file, fields, codePage);
  if (saved.unencodable) return 0;
  // Written in the encoding it was read in: the mark as found, every line the tool does not own
  // byte for byte, and each one it owns reads as its key field and its control's text, in that
  // encoding and in the one every reader takes the new file for.
  const settings::FileEncoding before(file, codePage);
  const settings::FileEncoding after(saved.bytes, codePage);
  fuzz::Check(after.mark() == before.mark());
  const auto lines = Lines(file);
  const auto savedLines = Lines(saved.bytes);
  fuzz::Check(savedLines.size() == lines.size());
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const auto key = settings::RecogniseKey(common::ToChars(before.toUtf8(lines[index])));
    const std::string& line = savedLines[index];
    fuzz::Check(key ? before.toUtf8(line) == LineOf(*key, fields) &&
                          after.toUtf8(line) == LineOf(*key, fields)
                    : line == lines[index]);
  }
  fuzz::Check(tool::SaveSettings(saved.bytes, fields, codePage).bytes == saved.bytes);

  // A save of what a load shows is what the next load shows, and then saves to the same bytes.
  // It is refused only where a port's text that was not ASCII, now a number, leaves a code-page
  // text that passes for UTF-8 as a whole.
  const tool::Loaded loaded = Load(saved.bytes);
  if (!loaded.problems.empty()) return 0;
  const tool::Saved again = tool::SaveSettings(saved.bytes, loaded.fields, codePage);
  const bool asciiPorts = std::ranges::all_of(fields.masterPort + fields.myHostPort,
                                              [](char c) { return (c & 0x80) == 0; });
  fuzz::Check(!again.unencodable || !asciiPorts);
  if (again.unencodable) return 0;
  fuzz::Check(Load(again.bytes).fields == loaded.fields);
  fuzz::Check(tool::SaveSettings(again.bytes, loaded.fields, codePage).bytes == again.bytes);
  return 0;
}
