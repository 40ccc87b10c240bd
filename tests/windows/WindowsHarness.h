// The backend's message window, Winsock and desktop, shared by the tests of one run as the agent
// shares them between its parts.
#pragma once

#include "contract/Harness.h"
#include "platform/windows/Win32Desktop.h"
#include "platform/windows/Win32MessageWindow.h"
#include "platform/windows/Win32Resolver.h"
#include "platform/windows/Win32UdpEndpoint.h"

namespace win32test {

struct Backend {
  platform::Win32MessageWindow window{GetModuleHandleW(nullptr)};
  platform::Win32Network network{window};
  platform::Win32Resolver resolver{window};
  platform::Win32Desktop desktop{GetModuleHandleW(nullptr)};
};

Backend& TheBackend();

}  // namespace win32test
