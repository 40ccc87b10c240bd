#pragma once

#include <string>
#include <vector>

#include "platform/UdpEndpoint.h"
#include "settings/ChildSettings.h"

namespace child {

// Why the agent cannot listen on its port, and what that means for the user, in Japanese.
std::string DescribeBindFailure(int port, platform::BindResult result);

// Why the call button cannot call the master: the settings could not be read, they name no port
// or no computer, or the call could not be sent there.
std::string DescribeCallWithoutSettings();
std::string DescribeCallToPort(int port);
std::string DescribeCallWithoutHost();
std::string DescribeCallFailure(const std::string& host, platform::SendResult result);

}  // namespace child
