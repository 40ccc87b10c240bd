#pragma once

#include <windows.h>

#include "platform/Form.h"
#include "platform/windows/Win32Window.h"

namespace platform {

// Renders each FormSpec as a native window with STATIC, BUTTON, EDIT and COMBOBOX controls,
// sized from twips with the screen's real DPI, in the system's message font unless a control
// names its own.
class Win32Forms final {
 public:
  explicit Win32Forms(HINSTANCE instance);
  ~Win32Forms();
  Win32Forms(const Win32Forms&) = delete;
  Win32Forms& operator=(const Win32Forms&) = delete;

  // The window, hidden, and its controls; Win32Window takes them over.
  NativeForm create(const FormSpec& declaration);
  // Whether a top-level window is one of these forms.
  bool isForm(HWND root) const;
  int dpiX() const { return dpiX_; }
  int dpiY() const { return dpiY_; }

 private:
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
};

}  // namespace platform
