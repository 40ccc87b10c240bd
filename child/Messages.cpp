#include "child/Messages.h"

namespace child {
namespace {

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

}  // namespace child
