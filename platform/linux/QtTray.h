#pragma once

#include <QPointer>
#include <QSystemTrayIcon>
#include <cstdint>
#include <map>

#include "platform/Tray.h"

namespace platform {

// Icons in the desktop's notification area, through Qt: the StatusNotifierItem protocol where
// the desktop speaks it, XEmbed (a tray such as trayer) otherwise. Qt brings an icon back by
// itself when the tray is restarted. The record's message, flags and tip kinds have no Qt
// counterpart; the icon's clicks reach the window as the mouse moves that Windows would send.
class QtTray final : public Tray {
 public:
  // Asks `desktop` for the twips per pixel that a mouse move carries its code in.
  explicit QtTray(const Desktop& desktop) : desktop_(desktop) {}

  void add(Window& window, const TrayRecord& record) override;
  void remove(const TrayRecord& record) override;

 private:
  const Desktop& desktop_;
  // Each one dies with its window's widgets at the latest.
  std::map<std::uint32_t, QPointer<QSystemTrayIcon>> icons_;
};

}  // namespace platform
