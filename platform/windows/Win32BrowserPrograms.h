#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/BrowserProgram.h"
#include "platform/windows/Win32Waits.h"

namespace platform {

// Edge, found as Windows finds it, started with its DevTools pipe: two named pipes whose far ends
// the browser inherits, and no other handle of the agent's; in a job that ends all of its
// processes with the agent, however the agent ends. The agent's ends are waited on by the event
// loop.
class Win32BrowserPrograms final : public BrowserPrograms {
 public:
  explicit Win32BrowserPrograms(Win32Waits& waits) : waits_(waits) {}

  BrowserProgramStart start(BrowserProgramEvents events) override;

 private:
  Win32Waits& waits_;
};

// The App Paths entry of msedge.exe (the user's, then the machine's), then Edge's usual install
// folders; empty when none holds the program.
std::wstring FindEdge();

}  // namespace platform
