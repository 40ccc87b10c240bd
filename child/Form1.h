// The agent's main window and the spine of its life: start-up, "End", and unloading.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/CodePage.h"
#include "platform/Desktop.h"
#include "platform/InstanceGuard.h"
#include "settings/ChildSettings.h"

namespace child {

// Program-wide state that start-up fills and shutdown releases.
struct Program {
  Program(platform::Desktop& desktop, platform::InstanceGuard& instance,
          const platform::CodePage& codePage)
      : desktop(desktop), instance(instance), codePage(codePage) {}

  platform::Desktop& desktop;
  platform::InstanceGuard& instance;
  const platform::CodePage& codePage;
  std::filesystem::path settingsFile{settings::kSettingsFileName};
  settings::ChildSettings childSettings;
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

  State state() const { return state_; }
  bool loaded() const { return window_ != nullptr; }

 private:
  platform::FormSpec Declaration();
  bool ReadSettings();
  // Runs Form_Unload to its end, then drops the window; does nothing once unloaded.
  void Unload();

  Program& program_;
  std::unique_ptr<platform::Window> window_;
  State state_ = State::Starting;
};

}  // namespace child
