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
  virtual void setCaption(std::string_view control, std::string_view text) = 0;
  // Greys the window's Close command; from then on the user cannot close the window (title
  // bar, window menu, Alt+F4), while the system still can (FormSpec::onClose).
  virtual void disableCloseCommand() = 0;
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
};

}  // namespace platform
