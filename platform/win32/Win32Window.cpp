#include "platform/win32/Win32Window.h"

#include <string>
#include <utility>

#include "platform/win32/Win32Text.h"

namespace platform {
namespace {

// The system's close runs from the window's own queue: Windows sends WM_ENDSESSION from
// another thread, and COM's modal loop hands it on in the middle of any call into the browser.
constexpr UINT kSystemCloseMessage = WM_APP;

// The greying of the Close command makes the calls the program has always made, with their
// values: 256 characters of menu text, and a flag value of 1 for both calls (MF_GRAYED, which
// GetMenuStringA ignores, looking the item up by command).
constexpr int kMenuTextLength = 256;
constexpr UINT kGreyedByCommand = MF_BYCOMMAND | MF_STRING | MF_GRAYED;
constexpr UINT_PTR kNoCommand = 0;

// The low four bits of a WM_SYSCOMMAND's code are the system's own.
constexpr WPARAM kSystemCommandMask = 0xFFF0;

// Takes the handler by value: the copy outlives the window object the handler may destroy.
LRESULT Run(std::function<void()> handler) {
  if (handler) handler();
  return 0;
}

}  // namespace

void LoadedWindows::remove() {
  if (--count_ == 0) PostQuitMessage(0);
}

Win32Window::Win32Window(NativeForm form, FormSpec declaration, LoadedWindows& loaded)
    : form_(std::move(form)), declaration_(std::move(declaration)), loaded_(loaded) {
  SetWindowLongPtrW(form_.frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  loaded_.add();
}

Win32Window::~Win32Window() {
  // Detached first, so that the messages DestroyWindow sends run no handler.
  SetWindowLongPtrW(form_.frame, GWLP_USERDATA, 0);
  DestroyWindow(form_.frame);
  loaded_.remove();
}

void Win32Window::setVisible(bool visible) {
  ShowWindow(form_.frame, visible ? SW_SHOW : SW_HIDE);
}

bool Win32Window::isVisible() const {
  return IsWindowVisible(form_.frame) != FALSE;
}

void Win32Window::setCaption(std::string_view control, std::string_view text) {
  for (std::size_t i = 0; i < declaration_.controls.size(); ++i) {
    if (declaration_.controls[i].name == control) {
      SetWindowTextW(form_.controls[i], Utf8ToUtf16(text).c_str());
    }
  }
}

void Win32Window::disableCloseCommand() {
  const HMENU menu = GetSystemMenu(form_.frame, FALSE);
  std::string text(kMenuTextLength, ' ');
  GetMenuStringA(menu, SC_CLOSE, text.data(), kMenuTextLength, kGreyedByCommand);
  ModifyMenuA(menu, SC_CLOSE, kGreyedByCommand, kNoCommand, text.data());
  DrawMenuBar(form_.frame);
  closeDisabled_ = true;
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window) {
    if (const auto result = window->handle(message, wParam, lParam)) return *result;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::optional<LRESULT> Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return onCommand(wParam, lParam);
    case WM_SYSCOMMAND:
      // Alt+F4 and the title bar's close button still ask for SC_CLOSE after the menu item
      // has lost it.
      if ((wParam & kSystemCommandMask) == SC_CLOSE && closeDisabled_) return 0;
      return std::nullopt;
    case WM_CLOSE:
      if (closeDisabled_) return 0;
      return Run(declaration_.onClose);
    case WM_ENDSESSION:
      if (wParam) PostMessageW(form_.frame, kSystemCloseMessage, 0, 0);
      return 0;
    case kSystemCloseMessage:
      return Run(declaration_.onClose);
    case DM_GETDEFID:
      return focusedButtonId();
    case WM_SETFOCUS:
      if (const HWND target = firstTabStop()) SetFocus(target);
      return 0;
    default:
      return std::nullopt;
  }
}

std::optional<LRESULT> Win32Window::onCommand(WPARAM wParam, LPARAM lParam) {
  const auto index = static_cast<std::size_t>(LOWORD(wParam) - kFirstControlId);
  if (HIWORD(wParam) != BN_CLICKED || lParam == 0 || index >= declaration_.controls.size()) {
    return std::nullopt;
  }
  return Run(declaration_.controls[index].onClick);
}

// Enter presses the default button of a dialog box; a form has none, so the focused button
// stands in, and Enter presses it.
LRESULT Win32Window::focusedButtonId() const {
  const HWND focus = GetFocus();
  for (std::size_t i = 0; i < declaration_.controls.size(); ++i) {
    if (form_.controls[i] == focus && declaration_.controls[i].kind == ControlKind::Button) {
      return MAKELRESULT(kFirstControlId + i, DC_HASDEFID);
    }
  }
  return 0;
}

HWND Win32Window::firstTabStop() const {
  HWND first = nullptr;
  int lowest = 0;
  for (std::size_t i = 0; i < declaration_.controls.size(); ++i) {
    const int tabIndex = declaration_.controls[i].tabIndex;
    if (tabIndex >= 0 && (!first || tabIndex < lowest)) {
      first = form_.controls[i];
      lowest = tabIndex;
    }
  }
  return first;
}

}  // namespace platform
