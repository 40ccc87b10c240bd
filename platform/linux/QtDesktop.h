#pragma once

#include <vector>

#include "platform/Desktop.h"
#include "platform/linux/QtSystemClose.h"

namespace platform {

class QtWindow;

// Needs the QApplication to exist. Ends the application's event loop when the last loaded
// window is unloaded.
class QtDesktop final : public Desktop {
 public:
  QtDesktop();

  std::unique_ptr<Window> createWindow(const FormSpec& declaration) override;
  void showMessage(std::string_view text, std::string_view title) override;
  [[noreturn]] void endProgram() override;
  void processPendingEvents() override;
  double twipsPerPixelX() const override;
  Geometry workArea() const override;

  bool anyWindowLoaded() const { return !loaded_.empty(); }

 private:
  friend class QtWindow;
  void windowLoaded(QtWindow* window);
  void windowUnloaded(QtWindow* window);
  // The system closes every window: each one's close handler runs, and unloads it.
  void closeAllWindows();

  std::vector<QtWindow*> loaded_;
  QtSystemClose systemClose_;
};

}  // namespace platform
