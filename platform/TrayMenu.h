// The icon of a program that has no window of its own, in the notification area, with a menu.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct TrayMenuItem {
  std::string caption;  // UTF-8
  std::function<void()> chosen;
};

class TrayMenu {
 public:
  virtual ~TrayMenu() = default;
  // Shows the icon (the program's own) with `tip` (UTF-8) and, on a right click, the items; a
  // left click chooses the first. The items run on the UI thread. The icon comes back when the
  // desktop's task bar is restarted, and goes with this object. Without a tray, the program runs
  // on without an icon.
  virtual void show(const std::string& tip, std::vector<TrayMenuItem> items) = 0;
};

// Opens a file (UTF-8 path) in the user's default web browser, and does not wait for it; false
// when nothing could be started.
bool OpenInBrowser(const std::string& path);

}  // namespace platform
