// The agent's main window and the spine of its life: start-up, "End", and unloading.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "child/BrowserControl.h"
#include "platform/Platform.h"
#include "settings/ChildSettings.h"

namespace child {

// Program-wide state that start-up fills and shutdown releases.
struct Program {
  explicit Program(platform::Platform& platform)
      : platform(platform),
        browser(platform.browsers(), platform.scheduler(), platform.desktop()) {}

  platform::Platform& platform;
  std::filesystem::path settingsFile{settings::kSettingsFileName};
  settings::ChildSettings childSettings;
  BrowserControl browser;
};

class Form1 {
 public:
  enum class State { Starting, Refused, HalfStarted, Running, Ending };

  explicit Form1(Program& program);

  // The program's start: creates the window, runs Form_Load, and then shows the window unless
  // start-up has hidden it or ended the program.
  void Load();

  void Form_Load();
  void Command1_Click();
  void Form_Unload();
  void Winsock1_DataArrival();

  State state() const { return state_; }
  bool loaded() const { return window_ != nullptr; }

 private:
  platform::Desktop& desktop() { return program_.platform.desktop(); }
  platform::FormSpec Declaration();
  // The system may close the window while start-up shows a message; start-up then stops.
  bool Unloaded() const { return !window_; }
  bool ReadSettings();
  void BindEndpoint();
  // A datagram is done: its last step, then the next one may arrive.
  void FinishDatagram();
  void ResumeArrivals();
  // Runs Form_Unload to its end, then drops the window; does nothing once unloaded.
  void Unload();

  Program& program_;
  std::unique_ptr<platform::Window> window_;
  std::unique_ptr<platform::UdpEndpoint> endpoint_;  // Winsock1: lives as long as the window
  State state_ = State::Starting;
};

}  // namespace child
