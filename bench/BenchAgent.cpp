#include "bench/BenchAgent.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "bench/Udp.h"

namespace bench {
namespace {

void WriteSettings(const std::filesystem::path& file, std::uint16_t agentPort) {
  std::ofstream(file, std::ios::binary)
      << "[Velostrander]\r\nMasterPortx=" << UnusedPort() << "\r\nMyHostPortx=" << agentPort
      << "\r\nMasterCompx=127.0.0.1\r\nMyCompNumxx=07\r\n";
}

class RememberedWindow final : public platform::Window {
 public:
  void setVisible(bool visible) override { visible_ = visible; }
  bool isVisible() const override { return visible_; }
  void setCaption(std::string_view, std::string_view) override {}
  std::string text(std::string_view) const override { return {}; }
  void addItem(std::string_view, std::string_view) override {}
  int listIndex(std::string_view) const override { return -1; }
  void setListIndex(std::string_view, int) override {}
  void disableCloseCommand() override {}
  void setMenuVisible(std::string_view, bool) override {}
  void popUpMenu(std::string_view) override {}
  void bringToForeground() override {}
  void dragWithMouse() override {}
  void move(int, int) override {}
  long setTopmost(bool) override { return 1; }

 private:
  bool visible_ = false;
};

}  // namespace

ScratchFolder::ScratchFolder() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("velo-bench-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::unique_ptr<platform::Window> UnattendedDesktop::createWindow(const platform::FormSpec&) {
  return std::make_unique<RememberedWindow>();
}

void UnattendedDesktop::showMessage(std::string_view text, std::string_view title) {
  ++messages_;
  std::cerr << "agent message (" << title << "): " << text << '\n';
}

void UnattendedDesktop::endProgram() {
  std::cerr << "the agent ended the program\n";
  std::exit(3);
}

BenchAgent::BenchAgent(platform::BrowserFactory& browsers) : platform_(browsers) {
  port_ = UnusedPort();
  program_.settingsFile = folder_.path() / settings::kSettingsFileName;
  WriteSettings(program_.settingsFile, port_);
  program_.form1.Load();
}

bool BenchAgent::running() {
  return program_.form1.state() == child::Form1::State::Running &&
         platform_.desktop().messages() == 0;
}

}  // namespace bench
