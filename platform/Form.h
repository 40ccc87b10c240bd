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
// and a line on a window's last twips lies on its last pixels.
PixelRect TwipsToPixels(const Geometry& twips, double dotsPerInchX, double dotsPerInchY);
// The other way, for what the system tells in pixels.
Geometry PixelsToTwips(const PixelRect& pixels, double dotsPerInchX, double dotsPerInchY);

enum class ControlKind {
  Label,
  Button,
  // One pixel wide, from (left, top) to (left + width, top + height), both ends drawn: in the
  // window-text colour, or etched (a grey line with a white one beside it).
  Line,
  EtchedLine,
  ProgramIcon,  // the program's icon, at its own size
  TextBox,      // one line of text to edit, of any length; its caption is its text
  // A drop-down list to pick one entry from, nothing to type; its onClick runs when the user
  // picks one.
  DropDownList,
  TextView,  // text to read, over many lines, scrolled when longer than the control
};

struct Font {
  std::string face;  // empty: the system's message font
  int points = 0;
};

struct ControlSpec {
  std::string name;  // "Label1", "Command1": also the object name a backend gives the widget
  ControlKind kind = ControlKind::Label;
  std::string caption;  // UTF-8; in a button's, "&" marks the access key
  Geometry at;
  int tabIndex = -1;  // -1: not a tab stop of its own
  std::function<void()> onClick;
  Font font;
  bool isDefault = false;  // Enter presses it
  bool isCancel = false;   // Esc presses it
};

inline ControlSpec Control(std::string name, ControlKind kind, Geometry at) {
  ControlSpec control;
  control.name = std::move(name);
  control.kind = kind;
  control.at = at;
  return control;
}

inline ControlSpec Label(std::string name, Geometry at, std::string caption = {}, Font font = {}) {
  ControlSpec label = Control(std::move(name), ControlKind::Label, at);
  label.caption = std::move(caption);
  label.font = std::move(font);
  return label;
}

inline ControlSpec Button(std::string name, std::string caption, Geometry at, int tabIndex,
                          std::function<void()> onClick) {
  ControlSpec button = Control(std::move(name), ControlKind::Button, at);
  button.caption = std::move(caption);
  button.tabIndex = tabIndex;
  button.onClick = std::move(onClick);
  return button;
}

// A menu of the menu bar, or an item of one.
struct MenuSpec {
  std::string name;     // "Menu1"
  std::string caption;  // UTF-8
  std::vector<MenuSpec> items;
  std::function<void()> onClick;  // an item's
};

// A mouse event on the window's body, as its handlers receive it.
struct MouseEvent {
  int button = 0;       // the buttons, as bits: 1 left, 2 right, 4 middle
  int shift = 0;        // the keys held, as bits: 1 Shift, 2 Ctrl, 4 Alt
  double x = 0, y = 0;  // in twips, from the client area's top left corner
};

enum class FrameStyle {
  FixedDialog,  // title bar and window menu, no minimise/maximise, not resizable
  None,         // no border, no title bar and no Close command: the user cannot close it
};

struct FormSpec {
  std::string name;     // "Form1"
  std::string caption;  // window title, UTF-8
  FrameStyle frame = FrameStyle::FixedDialog;
  bool showInTaskbar = true;
  bool programIcon = false;
  int clientWidth = 0, clientHeight = 0;  // the client area without the menu bar
  Font font;                              // of the controls that have none of their own
  std::vector<ControlSpec> controls;
  std::vector<MenuSpec> menus;  // the menu bar, left to right; visible at first
  // The window is closed: by the system (the session ends, the program is asked to terminate),
  // or by the user while its Close command is enabled. The handler unloads the window.
  std::function<void()> onClose;
  std::function<void(const MouseEvent&)> onMouseDown;
  std::function<void(const MouseEvent&)> onMouseMove;
};

}  // namespace platform
