#pragma once

#include <windows.h>

#include <memory>
#include <string_view>
#include <vector>

#include "platform/Desktop.h"
#include "platform/windows/Win32Window.h"

namespace platform {

// Renders each FormSpec as a native window with STATIC, BUTTON, EDIT and COMBOBOX controls,
// sized from twips with the screen's real DPI, in the system's message font unless a control
// names its own.
class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(HINSTANCE instance);
  ~Win32Desktop() override;
  Win32Desktop(const Win32Desktop&) = delete;
  Win32Desktop& operator=(const Win32Desktop&) = delete;

  std::unique_ptr<Window> createWindow(const FormSpec& declaration) override;
  void showMessage(std::string_view text, std::string_view title) override;
  void endProgram() override;
  void processPendingEvents() override;
  double twipsPerPixelX() const override;

  bool anyWindowLoaded() const { return loaded_.any(); }
  // Dispatches events until the last window is unloaded.
  void runEventLoop();

 private:
  HWND formOf(HWND hwnd) const;
  void dispatch(MSG& message) const;
  HWND createFrame(const FormSpec& declaration);
  void createControls(NativeForm& form, const FormSpec& declaration);
  void setProgramIcon(HWND frame) const;
  HICON programIcon(int widthMetric, int heightMetric) const;
  HWND hiddenOwner();
  PixelRect toPixels(const Geometry& twips) const;

  HINSTANCE instance_;
  ATOM formClass_ = 0;
  int dpiX_ = USER_DEFAULT_SCREEN_DPI;
  int dpiY_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  HWND hiddenOwner_ = nullptr;
  LoadedWindows loaded_;
};

}  // namespace platform
