// A window as the behaviour declares it: the backends render this, and route native events to
// the handlers bound here, so a window's layout and captions live in exactly one place.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Positions and sizes are in twips (1/1440 inch).
struct Geometry {
  int left = 0, top = 0, width = 0, height = 0;
};

// What a backend places on the screen, in its device-independent pixels.
struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};

// The one rule by which both backends turn twips into pixels at the screen's resolution.
int TwipsToPixels(int twips, double dotsPerInch);
// Converts the edges rather than the size, so that controls that touch in twips still touch,
// and a line on a window's last twips sits on its last pixel.
PixelRect TwipsToPixels(const Geometry& twips, double dotsPerInchX, double dotsPerInchY);

enum class ControlKind { Label, Button };

struct ControlSpec {
  std::string name;  // "Label1", "Command1": also the object name a backend gives the widget
  ControlKind kind = ControlKind::Label;
  std::string caption;  // UTF-8
  Geometry at;
  int tabIndex = -1;  // -1: not a tab stop of its own
  std::function<void()> onClick;
};

inline ControlSpec Label(std::string name, Geometry at, std::string caption = {}) {
  return {std::move(name), ControlKind::Label, std::move(caption), at, -1, {}};
}

inline ControlSpec Button(std::string name, std::string caption, Geometry at, int tabIndex,
                          std::function<void()> onClick) {
  return {std::move(name), ControlKind::Button, std::move(caption), at,
          tabIndex,        std::move(onClick)};
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
