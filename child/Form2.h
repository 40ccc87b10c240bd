// The call panel: a small borderless window whose one button calls the master.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace child {

struct Program;

class Form2 {
 public:
  explicit Form2(Program& program);

  // Start-up's first step: loads the panel and shows it, modeless, in the ordinary window order,
  // in the work area's bottom right corner.
  void Show();
  void Unload();
  bool loaded() const { return window_ != nullptr; }

  void Form_MouseDown(const platform::MouseEvent& event);
  void Command1_Click();

 private:
  platform::FormSpec Declaration();
  // Why the master cannot be called.
  void ReportNoMaster(const std::string& why);

  Program& program_;
  std::unique_ptr<platform::Window> window_;
};

}  // namespace child
