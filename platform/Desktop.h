// What the behaviour needs of a windowing system: windows, modal message boxes, and a way to
// end the program. One implementation per backend; a scripted fake one for the unit tests.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/Form.h"

namespace platform {

// A loaded window. Destroying it unloads the window (no handler runs); the program's event
// loop ends once no window is loaded any more.
class Window {
 public:
  virtual ~Window() = default;
  virtual void setVisible(bool visible) = 0;
  virtual bool isVisible() const = 0;
  // A control's caption (a text box's text), or with no control named, the window's title.
  virtual void setCaption(std::string_view control, std::string_view text) = 0;
  // A text box's text as the user left it.
  virtual std::string text(std::string_view control) const = 0;
  // A drop-down list's entries, and the position of the one picked (-1: none). Picking one
  // from here runs no handler.
  virtual void addItem(std::string_view control, std::string_view text) = 0;
  virtual int listIndex(std::string_view control) const = 0;
  virtual void setListIndex(std::string_view control, int index) = 0;
  // Greys the window's Close command; from then on the user cannot close the window (title
  // bar, window menu, Alt+F4), while the system still can (FormSpec::onClose).
  virtual void disableCloseCommand() = 0;
  // A menu of the menu bar; the window has no menu bar while none of them is visible. An
  // invisible menu's items can still pop up.
  virtual void setMenuVisible(std::string_view menu, bool visible) = 0;
  // Shows the menu's items at the mouse pointer; returns once the menu has closed, after the
  // handler of the item chosen, if any.
  virtual void popUpMenu(std::string_view menu) = 0;
  // Makes the window the foreground one, also while it is hidden, so that a pop-up menu of it
  // closes when the user clicks elsewhere.
  virtual void bringToForeground() = 0;
  // Moves the window with the mouse, as by its title bar, until the button is released; returns
  // when the move has ended, or where the system moves windows on its own, once it has begun.
  virtual void dragWithMouse() = 0;
  // Moves the window's top left corner there, in twips from the screen's.
  virtual void move(int left, int top) = 0;
  // Places the window above all others that are not topmost themselves (or among them again);
  // the system's result, nonzero on success.
  virtual long setTopmost(bool topmost) = 0;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Creates the window hidden; it is loaded until the returned object is destroyed.
  virtual std::unique_ptr<Window> createWindow(const FormSpec& declaration) = 0;
  // Modal for the whole program, a single OK button, no icon; returns when the user closes it.
  virtual void showMessage(std::string_view text, std::string_view title) = 0;
  // Ends the program at once, with no further handler run.
  virtual void endProgram() = 0;
  // Handles the window events that are pending, once, and returns.
  virtual void processPendingEvents() = 0;
  // How many twips make one of the screen's pixels across (15 at 96 dots per inch).
  virtual double twipsPerPixelX() const = 0;
  // The primary screen without its task bars and docks, in twips.
  virtual Geometry workArea() const = 0;
};

}  // namespace platform
