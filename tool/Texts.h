// The settings tool's own texts, shown to the user exactly as they stand here.
#pragma once

#include <string_view>

namespace tool {

inline constexpr std::string_view kProgramTitle = "Velostrander_Child_Tool";
inline constexpr std::string_view kMessageTitle = "Velostrander_Masterからのメッセージ";
inline constexpr std::string_view kNoFileAtLoad = "INIファイルがありません";
inline constexpr std::string_view kNoFileAtSave = " ファイルがありません";
inline constexpr std::string_view kHelpFile = "Velostrander_Child.hlp";

}  // namespace tool
