#include "child/Form2.h"

#include <string>

#include "child/Messages.h"
#include "child/Module1.h"
#include "child/Program.h"
#include "child/Texts.h"
#include "common/Protocol.h"

namespace child {
namespace {

constexpr int kLeftButton = 1;
constexpr int kWidth = 1575, kHeight = 495;
// Between the panel and the work area's edges.
constexpr int kMargin = 120;

}  // namespace

Form2::Form2(Program& program) : program_(program) {}

platform::FormSpec Form2::Declaration() {
  platform::FormSpec form;
  form.name = "Form2";
  form.caption = "Form2";
  form.frame = platform::FrameStyle::None;
  form.showInTaskbar = false;
  form.clientWidth = kWidth;
  form.clientHeight = kHeight;
  platform::ControlSpec call = platform::Button("Command1", "Master呼出し", {120, 120, 1335, 255},
                                                0, [this] { Command1_Click(); });
  call.font = {"ＭＳ Ｐゴシック", 9};
  // A frame on the panel's outermost pixels.
  const auto line = [](const char* name, platform::Geometry from) {
    return platform::Control(name, platform::ControlKind::Line, from);
  };
  form.controls = {call, line("Line1", {0, 0, 0, 480}), line("Line2", {1560, 0, 0, 480}),
                   line("Line3", {0, 0, 1560, 0}), line("Line4", {0, 480, 1560, 0})};
  form.onMouseDown = [this](const platform::MouseEvent& event) { Form_MouseDown(event); };
  form.onClose = [this] { Unload(); };
  return form;
}

// In the work area's bottom right corner, where no task bar covers it and it covers no title bar
// or menu of a maximised window.
void Form2::Show() {
  platform::Desktop& desktop = program_.platform.desktop();
  window_ = desktop.createWindow(Declaration());
  const platform::Geometry area = desktop.workArea();
  window_->move(area.left + area.width - kWidth - kMargin,
                area.top + area.height - kHeight - kMargin);
  window_->setVisible(true);
}

void Form2::Unload() {
  window_.reset();
}

// Topmost after a drag: on Windows the drag returns only once the button is released.
void Form2::Form_MouseDown(const platform::MouseEvent& event) {
  if (event.button & kLeftButton) window_->dragWithMouse();
  if (window_) SetTopmost(*window_, 1);
}

void Form2::Command1_Click() {
  platform::UdpEndpoint* winsock = program_.form1.Winsock1();
  const settings::ChildSettings& settings = program_.childSettings;
  if (!winsock) return ReportNoMaster(DescribeCallWithoutSettings());
  if (settings.MasterPort <= 0) return ReportNoMaster(DescribeCallToPort(settings.MasterPort));
  if (settings.MasterComp.empty()) return ReportNoMaster(DescribeCallWithoutHost());
  winsock->setRemoteHost(settings.MasterComp);
  winsock->setRemotePort(static_cast<std::uint16_t>(settings.MasterPort));
  const std::string call = settings.MyCompNum + std::string(protocol::kCallSuffix);
  const platform::Sending sent = winsock->send(program_.platform.codePage().fromUtf8(call));
  if (sent.result != platform::SendResult::Sent)
    return ReportNoMaster(DescribeCallFailure(settings.MasterComp, sent.result));
  program_.senders.CallSent(sent.to);
}

void Form2::ReportNoMaster(const std::string& why) {
  program_.platform.desktop().showMessage(why, kMessageTitle);
}

}  // namespace child
