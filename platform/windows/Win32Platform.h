#pragma once

#include <windows.h>

#include "devtools/Browsers.h"
#include "platform/Platform.h"
#include "platform/windows/Win32Browser.h"
#include "platform/windows/Win32BrowserPrograms.h"
#include "platform/windows/Win32CodePage.h"
#include "platform/windows/Win32Desktop.h"
#include "platform/windows/Win32Files.h"
#include "platform/windows/Win32InstanceGuard.h"
#include "platform/windows/Win32MessageWindow.h"
#include "platform/windows/Win32Programs.h"
#include "platform/windows/Win32Registry.h"
#include "platform/windows/Win32Resolver.h"
#include "platform/windows/Win32Scheduler.h"
#include "platform/windows/Win32Tray.h"
#include "platform/windows/Win32UdpEndpoint.h"

namespace platform {

// The Windows platform: plain Win32, Winsock, the shell's tray, and Edge over its DevTools pipe
// (Internet Explorer through COM where there is none).
// One per process, on the UI thread.
class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);

  Desktop& desktop() override { return desktop_; }
  InstanceGuard& instanceGuard() override { return instanceGuard_; }
  const CodePage& codePage() const override { return codePage_; }
  Network& network() override { return network_; }
  Resolver& resolver() override { return resolver_; }
  BrowserFactory& browsers() override { return browsers_; }
  Scheduler& scheduler() override { return scheduler_; }
  Tray& tray() override { return tray_; }
  Registry& registry() override { return registry_; }
  Programs& programs() override { return programs_; }
  Files& files() override { return files_; }

  // Handles events until no window is loaded any more; returns the program's exit code.
  int run();

 private:
  Win32CodePage codePage_;
  Win32Desktop desktop_;
  Win32InstanceGuard instanceGuard_;
  // Sockets and timers report to this window: it outlives both.
  Win32MessageWindow messages_;
  Win32Network network_;
  Win32Resolver resolver_;  // after Winsock is started
  Win32Scheduler scheduler_;
  Win32BrowserPrograms browserPrograms_;
  // Where no Chromium-family browser is installed, or Edge refuses its pipe.
  Win32BrowserFactory internetExplorer_;
  devtools::Browsers browsers_;
  Win32Tray tray_;
  Win32Registry registry_;
  Win32Programs programs_;
  Win32Files files_;
};

}  // namespace platform
