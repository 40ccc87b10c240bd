#include "platform/linux/QtTray.h"

#include "platform/linux/QtProgramIcon.h"
#include "platform/linux/QtText.h"
#include "platform/linux/QtWindow.h"

namespace platform {
namespace {

// The mouse message Windows sends for the same click on a notification icon.
int MouseMessage(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      return kTrayLeftButtonDown;
    case QSystemTrayIcon::DoubleClick:
      return kTrayLeftButtonDoubleClick;
    case QSystemTrayIcon::Context:
      return kTrayRightButtonDown;
    case QSystemTrayIcon::MiddleClick:
      return kTrayMiddleButtonDown;
    case QSystemTrayIcon::Unknown:
      break;
  }
  return 0;
}

}  // namespace

void QtTray::add(Window& window, const TrayRecord& record) {
  auto* qtWindow = dynamic_cast<QtWindow*>(&window);
  // As Windows, which refuses a second icon of one id.
  if (!qtWindow || icons_[record.id]) return;
  QtFormBody* body = &qtWindow->body();
  auto* icon = new QSystemTrayIcon(ProgramIcon(), body);
  icon->setToolTip(ToQString(record.tip));
  QObject::connect(icon, &QSystemTrayIcon::activated, body,
                   [this, body](QSystemTrayIcon::ActivationReason reason) {
                     const int code = MouseMessage(reason);
                     if (code != 0) body->mouseMoved({0, 0, code * desktop_.twipsPerPixelX(), 0});
                   });
  icon->show();
  icons_[record.id] = icon;
}

void QtTray::remove(const TrayRecord& record) {
  const auto found = icons_.find(record.id);
  if (found == icons_.end()) return;
  // Later: the icon may be removed from within its own click.
  if (QSystemTrayIcon* icon = found->second) {
    icon->hide();
    icon->deleteLater();
  }
  icons_.erase(found);
}

}  // namespace platform
