// The agent's settings reader over any file, and the port rule over any value text.
#include <cmath>

#include "Fuzz.h"
#include "common/Text.h"
#include "settings/ChildSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  // No read gives invalid UTF-8, so a settings value that stays is told from one read.
  const settings::ChildSettings before{"\xFF", 1, 2, "\xFF"};
  settings::ChildSettings read = before;
  const auto outcome = settings::ReadChildSettings(
      {platform::OpenResult::Opened, std::string(bytes)}, fuzz::Cp932(), read);
  fuzz::Check(outcome.problems.empty() || read == before);
  int lastLine = 0;
  for (const settings::LineProblem& problem : outcome.problems) {
    fuzz::Check(problem.lineNumber > lastLine);
    lastLine = problem.lineNumber;
  }

  const std::u32string value = common::ToChars(bytes);
  const double rounded = std::nearbyint(settings::ReadNumber(value));
  const auto port = settings::ReadPortValue(value);
  fuzz::Check(port ? *port == rounded : !(rounded >= -32768 && rounded <= 32767));
  return 0;
}
