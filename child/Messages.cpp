#include "child/Messages.h"

#include "settings/Text.h"

namespace child {
namespace {

// A value long enough to swamp the message box is cut, visibly.
constexpr std::size_t kShownValueLength = 20;

std::string Shown(const std::string& value) {
  const std::u32string chars = settings::ToChars(value);
  if (chars.size() <= kShownValueLength) return value;
  return settings::ToUtf8(std::u32string_view(chars).substr(0, kShownValueLength)) + "…";
}

std::string Describe(const settings::LineProblem& problem) {
  const std::string field(settings::KeyField(problem.key));
  const std::string line = std::to_string(problem.lineNumber) + "行目: ";
  switch (problem.kind) {
    case settings::LineProblem::Kind::KeyFieldCut:
      return line + "「" + field + "」の項目名が途中で切れていて、値が読み取れません。";
    case settings::LineProblem::Kind::PortOutOfRange:
      return line + "「" + field + "」のポート番号「" + Shown(problem.value) +
             "」は -32768～32767 の範囲にありません。";
  }
  return line;
}

std::string BindReason(int port, platform::BindResult result) {
  if (port <= 0) return "1～32767 の番号を指定してください";
  switch (result) {
    case platform::BindResult::PortInUse:
      return "ほかのプログラムが使用しています";
    case platform::BindResult::AccessDenied:
      return "このポートを使う権限がありません";
    case platform::BindResult::Bound:
    case platform::BindResult::Failed:
      break;
  }
  return "ポートを開けませんでした";
}

}  // namespace

std::string DescribeBindFailure(int port, platform::BindResult result) {
  return "UDPポート " + std::to_string(port) + " で受信を始められませんでした（" +
         BindReason(port, result) +
         "）。\nVelostrander_Master からの指示は、このコンピュータに届きません。\n"
         "設定ファイル「Velostrander_Child.ini」の MyHostPortx= の値を確かめてください。";
}

std::string DescribeCallWithoutSettings() {
  return "設定ファイル「Velostrander_Child.ini」を読めなかったため、Velostrander_Master の"
         "コンピュータ名とポート番号がわかりません。\nVelostrander_Master を呼び出せません。";
}

std::string DescribeCallToPort(int port) {
  return "設定ファイルの MasterPortx= のポート番号 " + std::to_string(port) +
         " では、Velostrander_Master を呼び出せません。\n1～32767 の番号を指定してください。";
}

std::string DescribeCallToUnknownHost(const std::string& host) {
  return "Velostrander_Master のコンピュータ「" + host +
         "」が見つからないため、呼び出せません。\n設定ファイルの MasterCompx= の値を確かめて"
         "ください。";
}

std::string DescribeProblems(const std::filesystem::path& file,
                             const std::vector<settings::LineProblem>& problems) {
  std::string text =
      "設定ファイル「" + file.filename().string() + "」に読み取れない行があります。\n";
  for (const auto& problem : problems) text += "\n" + Describe(problem);
  text += "\n\nファイルを直してから、もう一度起動してください。";
  return text;
}

}  // namespace child
