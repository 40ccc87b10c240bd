// The notification area (the task tray) of the desktop.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Desktop.h"

namespace platform {

// The mouse messages over an icon, in Windows' own codes, as the window receives them.
inline constexpr std::int32_t kTrayLeftButtonDown = 513;         // WM_LBUTTONDOWN
inline constexpr std::int32_t kTrayLeftButtonDoubleClick = 515;  // WM_LBUTTONDBLCLK
inline constexpr std::int32_t kTrayRightButtonDown = 516;        // WM_RBUTTONDOWN
inline constexpr std::int32_t kTrayMiddleButtonDown = 519;       // WM_MBUTTONDOWN

// An icon's record, as the behaviour fills it; the icon is the program's.
struct TrayRecord {
  std::uint32_t id = 0;
  std::uint32_t flags = 0;  // which of the message, the icon and the tip are given
  // The mouse messages over the icon reach the window as this message of its own, with the
  // mouse message's code where a mouse move carries its horizontal position: a backend whose
  // system has no such route hands the code to the window's onMouseMove the same way.
  std::uint32_t callbackMessage = 0;
  std::string tip;  // UTF-8
};

class Tray {
 public:
  virtual ~Tray() = default;
  // The icon comes back by itself when the desktop's task bar is restarted. Results are not
  // looked at: without a tray, the program runs on without an icon.
  virtual void add(Window& window, const TrayRecord& record) = 0;
  // The icon of that record's id; removing an icon that is not there changes nothing.
  virtual void remove(const TrayRecord& record) = 0;
};

}  // namespace platform
