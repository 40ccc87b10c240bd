#include "platform/linux/QtTrayMenu.h"

#include "platform/linux/QtProgramIcon.h"
#include "platform/linux/QtText.h"

namespace platform {

QtTrayMenu::QtTrayMenu() : icon_(ProgramIcon()) {
  icon_.setContextMenu(&menu_);
  QObject::connect(&icon_, &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger && !items_.empty()) {
                       items_.front().chosen();
                     }
                   });
}

void QtTrayMenu::show(const std::string& tip, std::vector<TrayMenuItem> items) {
  items_ = std::move(items);
  menu_.clear();
  for (const TrayMenuItem& item : items_) {
    QObject::connect(menu_.addAction(ToQString(item.caption)), &QAction::triggered,
                     [chosen = item.chosen] { chosen(); });
  }
  icon_.setToolTip(ToQString(tip));
  icon_.show();
}

}  // namespace platform
