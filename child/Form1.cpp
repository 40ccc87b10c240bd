#include "child/Form1.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "about/Texts.h"
#include "child/Datagram.h"
#include "child/Messages.h"
#include "child/Program.h"
#include "child/Texts.h"
#include "settings/Problems.h"

namespace child {
namespace {

// The tray icon's mouse messages come to the window as its own mouse moves: 512, WM_MOUSEMOVE,
// with the message over the icon where a move carries its horizontal position.
constexpr std::uint32_t kTrayCallbackMessage = 512;
constexpr std::uint32_t kTrayIconId = 1;
constexpr std::uint32_t kTrayMessageIconAndTip = 7;

// The mouse message's code from a position in twips: divided by the exact factor, then rounded
// (halves to even). Rounding the factor first, as whole twips, would decode 530 for a right
// press at 100 dots per inch (14.4 twips a pixel) and 491 at 168 (175 % scaling): the menu would
// never open there.
std::int32_t TrayCode(double xTwips, double twipsPerPixel) {
  return twipsPerPixel > 0 ? static_cast<std::int32_t>(std::nearbyint(xTwips / twipsPerPixel)) : 0;
}

}  // namespace

Form1::Form1(Program& program)
    : program_(program), requests_(program.browser, program.platform.scheduler()) {}

platform::Desktop& Form1::desktop() {
  return program_.platform.desktop();
}

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
  form.menus = {{"Menu1",
                 "タスクトレイメニューの表示",
                 {{"Menu2", "操作パネル", {}, [this] { Menu2_Click(); }},
                  {"Menu3", "About...", {}, [this] { Menu3_Click(); }}},
                 {}}};
  form.onClose = [this] { Unload(); };
  form.onMouseMove = [this](const platform::MouseEvent& event) { Form_MouseMove(event); };
  return form;
}

void Form1::Load() {
  window_ = desktop().createWindow(Declaration());
  Form_Load();
  if (state_ == State::HalfStarted) window_->setVisible(true);
}

void Form1::Form_Load() {
  program_.form2.Show();

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
                      std::string(about::kComputerNumberLabel) + program_.childSettings.MyCompNum);

  BindEndpoint();
  if (Unloaded()) return;
  AddTrayIcon();
  window_->setVisible(false);
  window_->setMenuVisible("Menu1", false);
  endpoint_->setRemoteHost(program_.childSettings.MasterComp);
  program_.senders.Start(program_.childSettings);
  program_.browser.Create();
  if (!Unloaded()) state_ = State::Running;
}

bool Form1::ReadSettings() {
  const auto outcome =
      settings::ReadChildSettings(program_.platform.files().read(program_.settingsFile),
                                  program_.platform.codePage(), program_.childSettings);
  switch (outcome.result) {
    case settings::OpenResult::NotFound:
      desktop().showMessage(kSettingsFileMissing, kMessageTitle);
      return false;
    case settings::OpenResult::CannotOpen:
      desktop().showMessage(
          settings::DescribeUnreadable(program_.settingsFile,
                                       "そのプログラムを終了してから、もう一度起動してください。"),
          kMessageTitle);
      return false;
    case settings::OpenResult::Opened:
      break;
  }
  if (outcome.problems.empty()) return true;
  desktop().showMessage(
      settings::DescribeProblems(program_.settingsFile, outcome.problems,
                                 "ファイルを直してから、もう一度起動してください。"),
      kMessageTitle);
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
  if (!program_.senders.Admits(arrival)) return;
  if (arrival.result != platform::ReadResult::Datagram) {
    // Later datagrams wait in the system until the box is answered: the endpoint raises no
    // arrival while this one is handled.
    if (arrival.result == platform::ReadResult::RefusedByDestination) {
      desktop().showMessage(kMasterNotFound, kMessageTitle);
    }
    return;
  }
  std::string text = program_.platform.codePage().toUtf8(arrival.bytes);
  const Request request = DecodeDatagram(text);
  requests_.Add(request, std::move(text));
}

void Form1::Command1_Click() {
  state_ = State::Ending;
  program_.browser.Release();
  program_.form2.Unload();
  Unload();
  // Removed already by the unloading: this changes nothing.
  RemoveTrayIcon();
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
  RemoveTrayIcon();
}

void Form1::AddTrayIcon() {
  trayRecord_ = {kTrayIconId, kTrayMessageIconAndTip, kTrayCallbackMessage,
                 std::string(kProgramTitle)};
  program_.platform.tray().add(*window_, trayRecord_);
}

void Form1::RemoveTrayIcon() {
  program_.platform.tray().remove(trayRecord_);
}

void Form1::Form_MouseMove(const platform::MouseEvent& event) {
  if (TrayCode(event.x, desktop().twipsPerPixelX()) != platform::kTrayRightButtonDown) return;
  window_->bringToForeground();
  desktop().processPendingEvents();
  // The pending events may have unloaded the window.
  if (window_) window_->popUpMenu("Menu1");
}

void Form1::Menu2_Click() {
  window_->setMenuVisible("Menu1", false);
  window_->setVisible(true);
}

void Form1::Menu3_Click() {
  program_.about.Show();
}

}  // namespace child
