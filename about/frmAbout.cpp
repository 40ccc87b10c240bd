#include "about/frmAbout.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "about/Texts.h"

namespace about {
namespace {

// The program's version, from the build's one version number.
constexpr int kVersion[] = {VELO_VERSION_MAJOR, VELO_VERSION_MINOR, VELO_VERSION_PATCH};

constexpr std::size_t kValueCapacity = 1024;
constexpr std::string_view kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr std::string_view kLocationValue = "MSINFO";
constexpr std::string_view kViewer = "\\MSINFO32.EXE";

// No caller needs a number; as text, it is the number in decimal.
std::string NumberText(const std::string& data) {
  std::uint32_t number = 0;
  std::memcpy(&number, data.data(), std::min(data.size(), sizeof number));
  return std::to_string(number);
}

}  // namespace

frmAbout::frmAbout(platform::Platform& platform, Edition edition)
    : platform_(platform), edition_(std::move(edition)) {}

platform::FormSpec frmAbout::Declaration() {
  platform::FormSpec form;
  form.name = "frmAbout";
  form.caption = std::string(kDesignCaption);
  form.showInTaskbar = false;
  form.programIcon = true;
  form.clientWidth = 5730;
  form.clientHeight = 4170;
  platform::ControlSpec ok =
      platform::Button("cmdOK", "OK", {4305, 2445, 1260, 345}, 0, [this] { cmdOK_Click(); });
  ok.isDefault = ok.isCancel = true;
  form.controls = {
      platform::Control("picIcon", platform::ControlKind::ProgramIcon, {240, 240, 540, 540}),
      platform::Label("lblTitle", {1050, 240, 4440, 480}, {}, {"ＭＳ Ｐゴシック", 12}),
      platform::Label("lblVersion", {1050, 780, 4440, 225}),
      platform::Label(edition_.numberLabel, {1050, 1065, 4440, 225}),
      platform::Label("lblDescription", {1050, 1350, 4440, 720}, std::string(kCredit)),
      platform::Control("Line1", platform::ControlKind::EtchedLine, {120, 2220, 5490, 0}),
      // Room for a line more than the warning takes in the Japanese UI faces, whose heights
      // differ from desktop to desktop: a label cut short hides its last line whole.
      platform::Label("lblDisclaimer", {255, 2400, 3870, 1620}, edition_.disclaimer),
      ok,
      platform::Button("cmdSysInfo", std::string(kSysInfoButton), {4305, 2895, 1260, 345}, 1,
                       [this] { cmdSysInfo_Click(); }),
  };
  // The system closes it as the user's OK does.
  form.onClose = [this] { cmdOK_Click(); };
  return form;
}

void frmAbout::Load() {
  window_ = platform_.desktop().createWindow(Declaration());
  Form_Load();
}

void frmAbout::Show() {
  if (!window_) Load();
  window_->setVisible(true);
  // An open box may lie behind other windows: choosing it again is asking to see it.
  window_->bringToForeground();
}

void frmAbout::SetComputerNumberLabel(std::string_view caption) {
  if (!window_) Load();
  window_->setCaption(edition_.numberLabel, caption);
}

void frmAbout::Form_Load() {
  window_->setCaption({}, edition_.title + std::string(kCaptionSuffix));
  window_->setCaption("lblVersion", std::string(kVersionPrefix) + std::to_string(kVersion[0]) +
                                        "." + std::to_string(kVersion[1]) + "." +
                                        std::to_string(kVersion[2]));
  window_->setCaption("lblTitle", edition_.title);
  if (edition_.computerNumber) {
    window_->setCaption(edition_.numberLabel,
                        std::string(kComputerNumberLabel) + edition_.computerNumber());
  }
}

void frmAbout::cmdOK_Click() {
  Unload();
}

void frmAbout::cmdSysInfo_Click() {
  StartSysInfo();
}

void frmAbout::StartSysInfo() {
  const auto fail = [this] {
    platform_.desktop().showMessage(kSysInfoUnavailable, edition_.title);
  };
  std::string path;
  const auto root = platform::RegistryRoot::LocalMachine;
  switch (GetKeyValue(root, std::string(platform::kSystemInfoKey),
                      std::string(platform::kSystemInfoValue), path)) {
    case KeyValue::Empty:
      return fail();
    case KeyValue::Read:
      break;
    case KeyValue::NotRead:
      if (GetKeyValue(root, std::string(kLocationKey), std::string(kLocationValue), path) !=
          KeyValue::Read) {
        return fail();
      }
      if (!platform_.programs().isOrdinaryFile(path + std::string(kViewer))) return fail();
      path += kViewer;
      break;
  }
  if (!platform_.programs().start(path)) fail();
}

frmAbout::KeyValue frmAbout::GetKeyValue(platform::RegistryRoot KeyRoot, const std::string& KeyName,
                                         const std::string& SubKeyRef, std::string& KeyVal) {
  const auto value = platform_.registry().read(KeyRoot, KeyName, SubKeyRef, kValueCapacity);
  if (!value) {
    KeyVal.clear();
    return KeyValue::NotRead;
  }
  if (value->data.empty()) return KeyValue::Empty;
  std::string data = value->data;
  if (data.back() == '\0') data.pop_back();
  if (value->type == platform::kRegistryString) KeyVal = platform_.codePage().toUtf8(data);
  if (value->type == platform::kRegistryNumber) KeyVal = NumberText(value->data);
  return KeyValue::Read;
}

}  // namespace about
