// The agent's real main form on the real Qt endpoint and scheduler, with a settings file of its
// own; only the browser is the benchmark's choice.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "child/Program.h"
#include "platform/Platform.h"
#include "platform/linux/PosixCodePage.h"
#include "platform/linux/PosixFiles.h"
#include "platform/linux/PosixResolver.h"
#include "platform/linux/PosixUdpEndpoint.h"
#include "platform/linux/QtPrograms.h"
#include "platform/linux/QtRegistry.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/QtTray.h"

namespace bench {

// A folder under the system's temporary folder, removed again with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Windows that are only remembered: the agent's own windows lie on none of the measured paths,
// and the Qt ones need an X server. A message box would wait for a user who is not there: it
// is reported and counted instead.
class UnattendedDesktop final : public platform::Desktop {
 public:
  std::unique_ptr<platform::Window> createWindow(const platform::FormSpec& declaration) override;
  void showMessage(std::string_view text, std::string_view title) override;
  [[noreturn]] void endProgram() override;
  void processPendingEvents() override {}
  double twipsPerPixelX() const override { return 15; }
  platform::Geometry workArea() const override { return {0, 0, 19200, 15360}; }
  int messages() const { return messages_; }

 private:
  int messages_ = 0;
};

// The benchmark may run beside an agent of the user's: it claims no instance.
class NoInstanceGuard final : public platform::InstanceGuard {
 public:
  bool anotherInstanceRunning() override { return false; }
};

// The Qt platform but for the windows, the instance guard and the browser. The tray shows no
// icon for a window that is only remembered.
class BenchPlatform final : public platform::Platform {
 public:
  explicit BenchPlatform(platform::BrowserFactory& browsers) : browsers_(browsers) {}

  UnattendedDesktop& desktop() override { return desktop_; }
  platform::InstanceGuard& instanceGuard() override { return instance_; }
  const platform::CodePage& codePage() const override { return codePage_; }
  platform::Network& network() override { return network_; }
  platform::Resolver& resolver() override { return resolver_; }
  platform::BrowserFactory& browsers() override { return browsers_; }
  platform::Scheduler& scheduler() override { return scheduler_; }
  platform::Tray& tray() override { return tray_; }
  platform::Registry& registry() override { return registry_; }
  platform::Programs& programs() override { return programs_; }
  platform::Files& files() override { return files_; }

 private:
  UnattendedDesktop desktop_;
  NoInstanceGuard instance_;
  platform::PosixCodePage codePage_;
  platform::PosixNetwork network_;
  platform::PosixResolver resolver_;
  platform::BrowserFactory& browsers_;
  platform::QtScheduler scheduler_;
  platform::QtTray tray_{desktop_};
  platform::QtRegistry registry_{codePage_};
  platform::QtPrograms programs_;
  platform::PosixFiles files_{codePage_};
};

class BenchAgent {
 public:
  explicit BenchAgent(platform::BrowserFactory& browsers);
  BenchAgent(const BenchAgent&) = delete;
  BenchAgent& operator=(const BenchAgent&) = delete;

  std::uint16_t port() const { return port_; }
  bool running();

 private:
  ScratchFolder folder_;
  BenchPlatform platform_;
  child::Program program_{platform_};
  std::uint16_t port_ = 0;
};

}  // namespace bench
