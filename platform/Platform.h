// Everything the behaviour needs of a platform, owned by one object per backend (QtPlatform,
// Win32Platform) that creates the ports in the order their system needs.
#pragma once

#include "platform/Browser.h"
#include "platform/CodePage.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/InstanceGuard.h"
#include "platform/Programs.h"
#include "platform/Registry.h"
#include "platform/Resolver.h"
#include "platform/Scheduler.h"
#include "platform/Tray.h"
#include "platform/UdpEndpoint.h"

namespace platform {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual Desktop& desktop() = 0;
  virtual InstanceGuard& instanceGuard() = 0;
  virtual const CodePage& codePage() const = 0;
  virtual Network& network() = 0;
  virtual Resolver& resolver() = 0;
  virtual BrowserFactory& browsers() = 0;
  virtual Scheduler& scheduler() = 0;
  virtual Tray& tray() = 0;
  virtual Registry& registry() = 0;
  virtual Programs& programs() = 0;
  virtual Files& files() = 0;
};

}  // namespace platform
