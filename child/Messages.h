#pragma once

#include <string>
#include <vector>

#include "platform/UdpEndpoint.h"
#include "settings/ChildSettings.h"

namespace child {

// Why the agent cannot listen on its port, and what that means for the user, in Japanese.
std::string DescribeBindFailure(int port, platform::BindResult result);

// Why the call button cannot call the master: the settings could not be read, its port is not
// one, or its computer cannot be found.
std::string DescribeCallWithoutSettings();
std::string DescribeCallToPort(int port);
std::string DescribeCallToUnknownHost(const std::string& host);

}  // namespace child
