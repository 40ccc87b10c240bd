#include "child/Form1.h"

#include <string>

#include "child/Datagram.h"
#include "child/Messages.h"
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
  window_ = desktop().createWindow(Declaration());
  Form_Load();
  if (state_ == State::HalfStarted) window_->setVisible(true);
}

void Form1::Form_Load() {
  // The call panel comes up here, first of all, also in an instance refused next.

  if (program_.platform.instanceGuard().anotherInstanceRunning()) {
    state_ = State::Refused;
    desktop().showMessage(kAlreadyRunning, kWarningTitle);
    desktop().endProgram();
    return;
  }

  window_->disableCloseCommand();

  const bool read = ReadSettings();
  if (Unloaded()) return;
  if (!read) {
    state_ = State::HalfStarted;
    return;
  }

  window_->setCaption("Label1",
                      std::string(kComputerNumberLabel) + program_.childSettings.MyCompNum);

  BindEndpoint();
  if (Unloaded()) return;

  // The tray icon is added here.

  window_->setVisible(false);

  // Menu1 is hidden here.

  endpoint_->setRemoteHost(program_.childSettings.MasterComp);
  program_.browser.Create();
  if (!Unloaded()) state_ = State::Running;
}

bool Form1::ReadSettings() {
  const auto outcome = settings::ReadChildSettings(
      program_.settingsFile, program_.platform.codePage(), program_.childSettings);
  switch (outcome.result) {
    case settings::OpenResult::NotFound:
      desktop().showMessage(kSettingsFileMissing, kMessageTitle);
      return false;
    case settings::OpenResult::CannotOpen:
      return false;
    case settings::OpenResult::Opened:
      break;
  }
  if (outcome.problems.empty()) return true;
  desktop().showMessage(DescribeProblems(program_.settingsFile, outcome.problems), kMessageTitle);
  return false;
}

// An agent that cannot listen still starts: its call panel and tray stay useful, and the
// message tells the user why the master's commands will not arrive.
void Form1::BindEndpoint() {
  endpoint_ = program_.platform.network().createUdpEndpoint([this] { Winsock1_DataArrival(); });
  const std::int16_t port = program_.childSettings.MyHostPort;
  const auto result =
      port > 0 ? endpoint_->bind(static_cast<std::uint16_t>(port)) : platform::BindResult::Failed;
  if (result != platform::BindResult::Bound) {
    desktop().showMessage(DescribeBindFailure(port, result), kMessageTitle);
  }
}

void Form1::Winsock1_DataArrival() {
  const platform::Arrival arrival = endpoint_->read();
  // Later datagrams wait in the endpoint until this one is done, whatever it shows or waits
  // for meanwhile.
  endpoint_->setPaused(true);
  if (arrival.result != platform::ReadResult::Datagram) {
    if (arrival.result == platform::ReadResult::RefusedByDestination) {
      desktop().showMessage(kMasterNotFound, kMessageTitle);
    }
    ResumeArrivals();
    return;
  }
  const std::string text = program_.platform.codePage().toUtf8(arrival.bytes);
  BrowserControl& browser = program_.browser;
  switch (DecodeDatagram(text)) {
    case Request::OpenUrl:
      browser.ShowPage(text, [this] { FinishDatagram(); });
      return;
    case Request::PartScreen:
      browser.SetFullScreen(false);
      break;
    case Request::FullScreen:
      browser.SetFullScreen(true);
      break;
    case Request::VisibleTrue:
      browser.SetVisible(true);
      break;
    case Request::VisibleFalse:
      browser.SetVisible(false);
      break;
    case Request::NoChange:
    case Request::Script:
      break;
  }
  FinishDatagram();
}

void Form1::FinishDatagram() {
  program_.browser.HideMenuBar();
  ResumeArrivals();
}

void Form1::ResumeArrivals() {
  // The window, and the endpoint with it, may have been unloaded meanwhile ("End", or the
  // system closing it).
  if (endpoint_) endpoint_->setPaused(false);
}

void Form1::Command1_Click() {
  state_ = State::Ending;
  program_.browser.Release();
  // The call panel is unloaded here.
  Unload();
  // The tray icon is removed here once more, which changes nothing.
}

void Form1::Unload() {
  if (!window_) return;
  state_ = State::Ending;
  Form_Unload();
  endpoint_.reset();
  window_.reset();
}

void Form1::Form_Unload() {
  program_.browser.Release();
  // The tray icon is removed here.
}

}  // namespace child
