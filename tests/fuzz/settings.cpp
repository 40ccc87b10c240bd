// The agent's settings reader over any file, and the port rule over any value text.
#include <cmath>

#include "Fuzz.h"
#include "common/Text.h"
#include "settings/ChildSettings.h"
#include "settings/FileEncoding.h"

namespace {

// No read gives invalid UTF-8, so a settings value that stays is told from one read.
const settings::ChildSettings kBefore{"\xFF", 1, 2, "\xFF"};

std::pair<settings::ChildSettings, std::vector<settings::LineProblem>> Read(std::string bytes) {
  settings::ChildSettings read = kBefore;
  auto outcome = settings::ReadChildSettings({platform::OpenResult::Opened, std::move(bytes)},
                                             fuzz::Cp932(), read);
  return {read, std::move(outcome.problems)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::Bytes(data, size);
  const auto [read, problems] = Read(std::string(bytes));
  fuzz::Check(problems.empty() || read == kBefore);
  int lastLine = 0;
  for (const settings::LineProblem& problem : problems) {
    fuzz::Check(problem.lineNumber > lastLine);
    lastLine = problem.lineNumber;
  }
  // The mark is no text: in front of UTF-8 (not marked already) it changes nothing the reader
  // reads.
  const std::u32string value = common::ToChars(bytes);
  if (common::ToUtf8(value) == bytes && !bytes.starts_with(settings::kByteOrderMark)) {
    fuzz::Check(Read(std::string(settings::kByteOrderMark) + std::string(bytes)) ==
                std::pair(read, problems));
  }

  const double rounded = std::nearbyint(settings::ReadNumber(value));
  const auto port = settings::ReadPortValue(value);
  fuzz::Check(port ? *port == rounded : !(rounded >= -32768 && rounded <= 32767));
  return 0;
}
