// The agent's own texts, shown to the user exactly as they stand here.
#pragma once

#include <string_view>

namespace child {

inline constexpr std::string_view kProgramTitle = "Velostrander_Child";
inline constexpr std::string_view kMessageTitle = "Velostrander_Childからのメッセージ";
inline constexpr std::string_view kWarningTitle = "警告";
inline constexpr std::string_view kAlreadyRunning = "すでにこのプログラムは起動しています";
inline constexpr std::string_view kSettingsFileMissing = " ファイルがありません";
inline constexpr std::string_view kBrowserUnavailable =
    "ブラウザを起動できませんでした。ページを開くように指示されたときに、もう一度起動を試みます。";
inline constexpr std::string_view kMasterNotFound = "Velostrander_Masterが見つかりません";

}  // namespace child
