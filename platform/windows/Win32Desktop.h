#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

#include "platform/Desktop.h"
#include "platform/windows/Win32Form.h"
#include "platform/windows/Win32Waits.h"
#include "platform/windows/Win32Window.h"

namespace platform {

// The message loop, with the handles it waits on, message boxes, and the forms that Win32Forms
// renders.
class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(HINSTANCE instance) : forms_(instance) {}

  std::unique_ptr<Window> createWindow(const FormSpec& declaration) override;
  void showMessage(std::string_view text, std::string_view title) override;
  void endProgram() override;
  void processPendingEvents() override;
  double twipsPerPixelX() const override;
  Geometry workArea() const override;

  bool anyWindowLoaded() const { return loaded_.any(); }
  Win32Waits& waits() { return waits_; }
  // Dispatches events, and runs what the handles waited on call for, until the last window is
  // unloaded.
  void runEventLoop();

 private:
  HWND formOf(HWND hwnd) const;
  void dispatch(MSG& message) const;

  Win32Forms forms_;
  LoadedWindows loaded_;
  Win32Waits waits_;
};

}  // namespace platform
