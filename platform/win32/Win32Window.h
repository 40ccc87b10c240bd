#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Desktop.h"

namespace platform {

// Counts the program's loaded windows; the event loop ends when the last one goes.
class LoadedWindows {
 public:
  void add() { ++count_; }
  void remove();
  bool any() const { return count_ > 0; }

 private:
  int count_ = 0;
};

// A window as Win32Desktop created it for a FormSpec: the frame and one control per
// FormSpec::controls entry, in the same order.
struct NativeForm {
  HWND frame = nullptr;
  std::vector<HWND> controls;
};

class Win32Window final : public Window {
 public:
  // Control ids count from here, clear of IDOK and IDCANCEL, which the system sends on its own.
  static constexpr int kFirstControlId = 100;

  Win32Window(NativeForm form, FormSpec declaration, LoadedWindows& loaded);
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  void setVisible(bool visible) override;
  bool isVisible() const override;
  void setCaption(std::string_view control, std::string_view text) override;
  void disableCloseCommand() override;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // A handler may unload the window, destroying this object: nothing after one may touch it.
  std::optional<LRESULT> handle(UINT message, WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> onCommand(WPARAM wParam, LPARAM lParam);
  LRESULT focusedButtonId() const;
  HWND firstTabStop() const;

  NativeForm form_;
  FormSpec declaration_;
  LoadedWindows& loaded_;
  bool closeDisabled_ = false;
};

}  // namespace platform
