#include "settings/Problems.h"

#include "common/Text.h"
#include "platform/Paths.h"

namespace settings {
namespace {

// A value long enough to swamp the message box is cut, visibly.
constexpr std::size_t kShownValueLength = 20;

std::string Shown(const std::string& value) {
  const std::u32string chars = common::ToChars(value);
  if (chars.size() <= kShownValueLength) return value;
  return common::ToUtf8(std::u32string_view(chars).substr(0, kShownValueLength)) + "…";
}

std::string Describe(const LineProblem& problem) {
  const std::string field(KeyField(problem.key));
  const std::string line = std::to_string(problem.lineNumber) + "行目: ";
  switch (problem.kind) {
    case LineProblem::Kind::KeyFieldCut:
      return line + "「" + field + "」の項目名が途中で切れていて、値が読み取れません。";
    case LineProblem::Kind::PortOutOfRange:
      return line + "「" + field + "」のポート番号「" + Shown(problem.value) +
             "」は -32768～32767 の範囲にありません。";
    case LineProblem::Kind::NumberOutOfRange:
      return line + "「" + field + "」のコンピュータ番号「" + Shown(problem.value) +
             "」は 00～30 の範囲にありません。";
  }
  return line;
}

}  // namespace

std::string DescribeProblems(std::string_view file, const std::vector<LineProblem>& problems,
                             std::string_view closing) {
  std::string text =
      "設定ファイル「" + platform::FileName(file) + "」に読み取れない行があります。\n";
  for (const auto& problem : problems) text += "\n" + Describe(problem);
  return text + "\n\n" + std::string(closing);
}

std::string DescribeUnreadable(std::string_view file, std::string_view closing) {
  return "設定ファイル「" + platform::FileName(file) +
         "」を開けませんでした。ほかのプログラムが使用しているか、読み取る権限がありません。\n\n" +
         std::string(closing);
}

}  // namespace settings
