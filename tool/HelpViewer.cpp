#include "tool/HelpViewer.h"

#include <fstream>
#include <iterator>
#include <string>

namespace tool {

HelpViewer::HelpViewer(platform::Platform& platform) : platform_(platform) {}

void HelpViewer::Show(const std::filesystem::path& file) {
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
    std::ifstream stream(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(stream),
                           std::istreambuf_iterator<char>()};
    const std::u8string name = file.u8string();
    window_->setCaption("Text1", stream
                                     ? text
                                     : "ヘルプ ファイル「" + std::string(name.begin(), name.end()) +
                                           "」が見つかりません。\nツールと同じフォルダに置いて"
                                           "ください。");
  }
  window_->setVisible(true);
  window_->bringToForeground();
}

}  // namespace tool
