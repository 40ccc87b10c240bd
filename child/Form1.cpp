#include "child/Form1.h"

#include <string>

#include "child/SettingsMessages.h"
#include "child/Texts.h"

namespace child {

Form1::Form1(Program& program) : program_(program) {}

platform::FormSpec Form1::Declaration() {
  platform::FormSpec form;
  form.name = "Form1";
  form.caption = std::string(kProgramTitle);
  form.frame = platform::FrameStyle::FixedDialog;
  form.showInTaskbar = false;
  form.programIcon = true;
  form.clientWidth = 3630;
  form.clientHeight = 450;
  form.controls = {
      platform::Label("Label1", {600, 120, 1815, 255}),
      platform::Button("Command1", "End", {2640, 120, 855, 255}, 0, [this] { Command1_Click(); }),
  };
  form.onClose = [this] { Unload(); };
  return form;
}

void Form1::Load() {
  window_ = program_.desktop.createWindow(Declaration());
  Form_Load();
  if (state_ == State::HalfStarted) window_->setVisible(true);
}

void Form1::Form_Load() {
  // The call panel comes up here, first of all, also in an instance refused next.

  if (program_.instance.anotherInstanceRunning()) {
    state_ = State::Refused;
    program_.desktop.showMessage(kAlreadyRunning, kWarningTitle);
    program_.desktop.endProgram();
    return;
  }

  window_->disableCloseCommand();

  if (!ReadSettings()) {
    state_ = State::HalfStarted;
    return;
  }

  window_->setCaption("Label1",
                      std::string(kComputerNumberLabel) + program_.childSettings.MyCompNum);

  // The UDP endpoint is bound to MyHostPort here, then the tray icon is added.

  window_->setVisible(false);

  // Here Menu1 is hidden, the endpoint's remote host preset to MasterComp, and the browser
  // created, hidden.

  state_ = State::Running;
}

bool Form1::ReadSettings() {
  const auto outcome =
      settings::ReadChildSettings(program_.settingsFile, program_.codePage, program_.childSettings);
  switch (outcome.result) {
    case settings::OpenResult::NotFound:
      program_.desktop.showMessage(kSettingsFileMissing, kMessageTitle);
      return false;
    case settings::OpenResult::CannotOpen:
      return false;
    case settings::OpenResult::Opened:
      break;
  }
  if (outcome.problems.empty()) return true;
  program_.desktop.showMessage(DescribeProblems(program_.settingsFile, outcome.problems),
                               kMessageTitle);
  return false;
}

void Form1::Command1_Click() {
  state_ = State::Ending;
  // The browser is hidden and released here, and the call panel unloaded.
  Unload();
  // The tray icon is removed here once more, which changes nothing.
}

void Form1::Unload() {
  if (!window_) return;
  state_ = State::Ending;
  Form_Unload();
  window_.reset();
}

void Form1::Form_Unload() {
  // The browser is hidden and released here, and the tray icon removed.
}

}  // namespace child
