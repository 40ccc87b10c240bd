// A window as the behaviour declares it: the backends render this, and route native events to
// the handlers bound here, so a window's layout and captions live in exactly one place.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Positions and sizes are in twips (1/1440 inch); a backend converts them with the screen's DPI.
enum class ControlKind { Label, Button };

struct ControlSpec {
  std::string name;  // "Label1", "Command1": also the object name a backend gives the widget
  ControlKind kind = ControlKind::Label;
  std::string caption;  // UTF-8
  int left = 0, top = 0, width = 0, height = 0;
  int tabIndex = -1;  // -1: not a tab stop of its own
  std::function<void()> onClick;
};

struct Geometry {
  int left = 0, top = 0, width = 0, height = 0;
};

inline ControlSpec Label(std::string name, Geometry at, std::string caption = {}) {
  return {std::move(name),
          ControlKind::Label,
          std::move(caption),
          at.left,
          at.top,
          at.width,
          at.height,
          -1,
          {}};
}

inline ControlSpec Button(std::string name, std::string caption, Geometry at, int tabIndex,
                          std::function<void()> onClick) {
  return {std::move(name), ControlKind::Button, std::move(caption), at.left,           at.top,
          at.width,        at.height,           tabIndex,           std::move(onClick)};
}

enum class FrameStyle {
  FixedDialog,  // title bar and window menu, no minimise/maximise, not resizable
  None,         // no border and no title bar
};

struct FormSpec {
  std::string name;     // "Form1"
  std::string caption;  // window title, UTF-8
  FrameStyle frame = FrameStyle::FixedDialog;
  bool showInTaskbar = true;
  bool programIcon = false;
  int clientWidth = 0, clientHeight = 0;
  std::vector<ControlSpec> controls;
  // The window is closed: by the system (the session ends, the program is asked to terminate),
  // or by the user while its Close command is enabled. The handler unloads the window.
  std::function<void()> onClose;
};

}  // namespace platform
