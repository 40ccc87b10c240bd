// Lines of the settings file that cannot be taken apart, as both programs name them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/ChildSettings.h"

namespace settings {

// One message, in Japanese, that names the settings file and each line that cannot be read, by
// its number, with what is wrong with it; `closing` says what to do about it.
std::string DescribeProblems(std::string_view file, const std::vector<LineProblem>& problems,
                             std::string_view closing);

// The file is there but cannot be read: another program holds it locked, the user may not read
// it, or the name is a folder. Saying so keeps a locked file from passing for a silent start, an
// empty form or a save that did nothing.
std::string DescribeUnreadable(std::string_view file, std::string_view closing);

}  // namespace settings
