// The About box's own texts, shown to the user exactly as they stand here.
#pragma once

#include <string_view>

namespace about {

// Also the start of the agent's main-window label and the tool's computer-number caption.
inline constexpr std::string_view kComputerNumberLabel = "コンピュータ番号:";
inline constexpr std::string_view kDesignCaption = "ﾊﾞｰｼﾞｮﾝ情報";
inline constexpr std::string_view kCaptionSuffix = "のﾊﾞｰｼﾞｮﾝ情報";
inline constexpr std::string_view kVersionPrefix = "ﾊﾞｰｼﾞｮﾝ ";
inline constexpr std::string_view kSysInfoButton = "ｼｽﾃﾑ情報(&S)...";
inline constexpr std::string_view kSysInfoUnavailable = "現時点ではｼｽﾃﾑ情報を使用できません";
inline constexpr std::string_view kCredit =
    "先生のコンピュータから、教室のコンピュータのブラウザに授業のページを届けます。";
inline constexpr std::string_view kAgentDisclaimer =
    "警告: このプログラムは著作権法および国際条約により保護されています。このプログラムの全部"
    "または一部を無断で複製したり、無断で複製物を頒布したりすると、著作権の侵害となります。";

}  // namespace about
