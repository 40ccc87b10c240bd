// The backend's message window and Winsock, shared by the tests of one run as the agent shares
// them between its parts.
#pragma once

#include "platform/win32/Win32MessageWindow.h"
#include "platform/win32/Win32Network.h"

namespace win32test {

struct Backend {
  platform::Win32MessageWindow window{GetModuleHandleW(nullptr)};
  platform::Win32Network network{window};
};

inline Backend& TheBackend() {
  static Backend backend;
  return backend;
}

}  // namespace win32test
