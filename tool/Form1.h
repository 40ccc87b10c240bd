// The settings tool's one window: the four settings of the agent, loaded from the settings file
// and saved back into it; its menus, its two ways out, help and About.
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "tool/Editor.h"

namespace tool {

struct Program;

class Form1 {
 public:
  explicit Form1(Program& program);

  // The program's start: creates the window, runs Form_Load and shows the window.
  void Load();

  void Form_Load();
  void Combo1_Click();
  void Command2_Click();
  void Command1_Click();
  void Menu11_Click();
  void Menu01_Click();
  void Menu02_Click();

  bool loaded() const { return window_ != nullptr; }

 private:
  platform::FormSpec Declaration();
  Fields ReadControls() const;
  void ShowFields(const Fields& fields);
  void ReportSaveFailure(const platform::FileWriteFailure& failure);
  void Message(std::string_view text);

  Program& program_;
  std::unique_ptr<platform::Window> window_;
};

}  // namespace tool
