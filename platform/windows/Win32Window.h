#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Desktop.h"
#include "platform/windows/Win32MenuBar.h"

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

// A window as Win32Forms created it for a FormSpec: the frame and one control per
// FormSpec::controls entry, in the same order (null for a line, which the frame paints).
struct NativeForm {
  HWND frame = nullptr;
  std::vector<HWND> controls;
  std::vector<HFONT> fonts;  // the controls' own, freed with the window
  SIZE client{};             // the declared client area, in pixels
  int dpiX = USER_DEFAULT_SCREEN_DPI;
  int dpiY = USER_DEFAULT_SCREEN_DPI;
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
  std::string text(std::string_view control) const override;
  void addItem(std::string_view control, std::string_view text) override;
  int listIndex(std::string_view control) const override;
  void setListIndex(std::string_view control, int index) override;
  void disableCloseCommand() override;
  void setMenuVisible(std::string_view menu, bool visible) override;
  void popUpMenu(std::string_view menu) override;
  void bringToForeground() override;
  void dragWithMouse() override;
  void move(int left, int top) override;
  long setTopmost(bool topmost) override;

  HWND frame() const { return form_.frame; }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // A handler may unload the window, destroying this object: nothing after one may touch it.
  std::optional<LRESULT> handle(UINT message, WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> onCommand(WPARAM wParam, LPARAM lParam);
  std::optional<LRESULT> onMouse(const std::function<void(const MouseEvent&)>& handler, int button,
                                 WPARAM wParam, LPARAM lParam) const;
  HWND controlNamed(std::string_view name) const;
  LRESULT defaultButtonId() const;
  HWND firstTabStop() const;
  void showMenuBar();
  void paintLines(HDC dc) const;

  NativeForm form_;
  FormSpec declaration_;
  LoadedWindows& loaded_;
  Win32MenuBar menuBar_;
  bool closeDisabled_;
};

}  // namespace platform
