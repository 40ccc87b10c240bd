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

std::string DescribeCallWithoutHost() {
  return "設定ファイルの MasterCompx= に Velostrander_Master のコンピュータ名がないため、"
         "呼び出せません。\nコンピュータ名か IP アドレスを指定してください。";
}

std::string DescribeCallFailure(const std::string& host, platform::SendResult result) {
  const std::string master = "Velostrander_Master のコンピュータ「" + host + "」";
  const std::string check = "設定ファイルの MasterCompx= の値を確かめてください。";
  switch (result) {
    case platform::SendResult::NoSuchHost:
      return master + "が見つからないため、呼び出せません。\n" + check;
    case platform::SendResult::NetworkUnreachable:
      return master +
             "へ届くネットワークがないため、呼び出せません。\nこのコンピュータが"
             "ネットワークにつながっているか確かめてください。";
    case platform::SendResult::NotPermitted:
      return master +
             "への送信が許可されていないため、呼び出せません。\nブロードキャスト"
             "アドレスには送れません。" +
             check;
    case platform::SendResult::Sent:
    case platform::SendResult::Failed:
      break;
  }
  return master + "に呼び出しを送れませんでした。\nしばらくしてから、もう一度押してください。";
}

}  // namespace child
