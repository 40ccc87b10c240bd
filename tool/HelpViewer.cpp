#include "tool/HelpViewer.h"

namespace tool {

HelpViewer::HelpViewer(platform::Platform& platform) : platform_(platform) {}

void HelpViewer::Show(const std::string& file) {
  if (!window_) {
    platform::FormSpec form;
    form.name = "Help";
    form.caption = "Velostrander_Child ヘルプ";
    form.programIcon = true;
    form.clientWidth = 9000;
    form.clientHeight = 7200;
    form.controls = {
        platform::Control("Text1", platform::ControlKind::TextView, {120, 120, 8760, 6960})};
    form.onClose = [this] { Unload(); };
    window_ = platform_.desktop().createWindow(form);
    const platform::FileBytes help = platform_.files().read(file);
    window_->setCaption("Text1", help.result == platform::OpenResult::Opened
                                     ? help.bytes
                                     : "ヘルプ ファイル「" + file +
                                           "」が見つかりません。\nツールと同じフォルダに置いて"
                                           "ください。");
  }
  window_->setVisible(true);
  window_->bringToForeground();
}

}  // namespace tool
