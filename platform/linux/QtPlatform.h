#pragma once

#include <QApplication>

#include "devtools/Browsers.h"
#include "platform/Platform.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/PosixInstanceGuard.h"
#include "platform/linux/PosixResolver.h"
#include "platform/linux/PosixUdpEndpoint.h"
#include "platform/linux/QtBrowserPrograms.h"
#include "platform/linux/QtDesktop.h"
#include "platform/linux/QtPrograms.h"
#include "platform/linux/QtRegistry.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/QtTray.h"

namespace platform {

// Qt's own event loop rather than glib's, which costs a command from the teacher several
// microseconds more on its way to the browser: a pass of its loop takes longer, and the command
// takes two. Qt reads its switch, QT_NO_GLIB, when the application object is made; a switch the
// user set stays, and the one set here goes again at once, so that no program started later
// inherits it.
struct OwnEventLoopSwitch {
  OwnEventLoopSwitch();
  const bool setHere;
};

class QtApplication final : private OwnEventLoopSwitch, public QApplication {
 public:
  QtApplication(int& argc, char** argv);
};

// The Linux platform: Qt 6 Widgets on X11, and Chromium for the browser. One per process.
class QtPlatform final : public Platform {
 public:
  QtPlatform(int& argc, char** argv);

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
  // What must hold before the application object exists; runs first, as the first member.
  struct ProcessSetup {
    ProcessSetup();
  };

  ProcessSetup setup_;
  PosixCodePage codePage_;  // after the locale is set, before Qt changes it
  QtApplication application_;
  QtDesktop desktop_;
  PosixInstanceGuard instanceGuard_;
  PosixNetwork network_;
  PosixResolver resolver_;
  QtScheduler scheduler_;
  QtBrowserPrograms browserPrograms_;
  devtools::Browsers browsers_{browserPrograms_, scheduler_, nullptr};
  QtTray tray_{desktop_};
  QtRegistry registry_{codePage_};
  QtPrograms programs_;
  PosixFiles files_{codePage_};
};

}  // namespace platform
