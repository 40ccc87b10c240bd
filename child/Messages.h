#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/UdpEndpoint.h"
#include "settings/ChildSettings.h"

namespace child {

// One message, in Japanese, that names the settings file and each line that cannot be read,
// by its number, with what is wrong with it.
std::string DescribeProblems(const std::filesystem::path& file,
                             const std::vector<settings::LineProblem>& problems);

// Why the agent cannot listen on its port, and what that means for the user, in Japanese.
std::string DescribeBindFailure(int port, platform::BindResult result);

}  // namespace child
