#pragma once

#include <QMenu>
#include <QSystemTrayIcon>

#include "platform/TrayMenu.h"

namespace platform {

// QSystemTrayIcon with a QMenu: the StatusNotifierItem protocol where the desktop speaks it,
// XEmbed (a tray such as trayer) otherwise; an icon shown before the tray comes up joins it
// then. Needs a QApplication.
class QtTrayMenu final : public TrayMenu {
 public:
  QtTrayMenu();
  void show(const std::string& tip, std::vector<TrayMenuItem> items) override;

 private:
  QMenu menu_;
  QSystemTrayIcon icon_;  // goes before the menu it shows
  std::vector<TrayMenuItem> items_;
};

}  // namespace platform
