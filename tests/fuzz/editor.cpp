// The settings tool's load and save over any file and any texts in its controls. The input is
// the file, then the texts of Text1, Text2 and Text3 and Combo1's position, cut at NULs.
#include "tool/Editor.h"
#include "Fuzz.h"
#include "common/Text.h"

namespace {

using settings::SplitLines;

const platform::CodePage& codePage = fuzz::Cp932();

bool Owned(const std::string& line) {
  return settings::RecogniseKey(common::ToChars(codePage.toUtf8(line))).has_value();
}

tool::Loaded Load(const std::string& bytes) {
  return tool::LoadSettings(SplitLines(std::string_view(bytes)), codePage);
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
  const auto lines = SplitLines(std::string_view(file));
  const tool::Saved saved = tool::SaveSettings(lines, fields, codePage);
  if (saved.unencodable) return 0;
  const auto savedLines = SplitLines(std::string_view(saved.bytes));
  fuzz::Check(savedLines.size() == lines.size());
  for (std::size_t index = 0; index < lines.size(); ++index) {
    fuzz::Check(Owned(lines[index]) || savedLines[index] == lines[index]);
  }
  fuzz::Check(tool::SaveSettings(savedLines, fields, codePage).bytes == saved.bytes);

  // A save of what a load shows is what the next load shows, and then saves to the same bytes.
  const tool::Loaded loaded = Load(saved.bytes);
  if (!loaded.problems.empty()) return 0;
  const tool::Saved again = tool::SaveSettings(savedLines, loaded.fields, codePage);
  fuzz::Check(!again.unencodable && Load(again.bytes).fields == loaded.fields);
  fuzz::Check(tool::SaveSettings(SplitLines(std::string_view(again.bytes)), loaded.fields, codePage)
                  .bytes == again.bytes);
  return 0;
}
