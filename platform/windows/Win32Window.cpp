#include "platform/windows/Win32Window.h"

#include <string>
#include <utility>

#include "platform/windows/Win32Text.h"

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

// The one flag value the program has always given for its topmost calls.
constexpr UINT kTopmostFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW;

constexpr double kTwipsPerInch = 1440;

// Takes the handler by value: the copy outlives the window object the handler may destroy.
LRESULT Run(std::function<void()> handler) {
  if (handler) handler();
  return 0;
}

int ButtonsOf(WPARAM keys) {
  return (keys & MK_LBUTTON ? 1 : 0) | (keys & MK_RBUTTON ? 2 : 0) | (keys & MK_MBUTTON ? 4 : 0);
}

int ShiftOf(WPARAM keys) {
  return (keys & MK_SHIFT ? 1 : 0) | (keys & MK_CONTROL ? 2 : 0) |
         (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

// LineTo leaves out the last point, which a line of the form has.
void DrawLine(HDC dc, POINT from, POINT to, int colourIndex) {
  const COLORREF colour = GetSysColor(colourIndex);
  const HPEN pen = CreatePen(PS_SOLID, 1, colour);
  const HGDIOBJ previous = SelectObject(dc, pen);
  MoveToEx(dc, from.x, from.y, nullptr);
  LineTo(dc, to.x, to.y);
  SetPixelV(dc, to.x, to.y, colour);
  SelectObject(dc, previous);
  DeleteObject(pen);
}

}  // namespace

void LoadedWindows::remove() {
  if (--count_ == 0) PostQuitMessage(0);
}

Win32Window::Win32Window(NativeForm form, FormSpec declaration, LoadedWindows& loaded)
    : form_(std::move(form)),
      declaration_(std::move(declaration)),
      loaded_(loaded),
      menuBar_(declaration_.menus,
               static_cast<UINT>(kFirstControlId + declaration_.controls.size())),
      // A borderless window has no Close command, yet Alt+F4 still asks for one.
      closeDisabled_(declaration_.frame == FrameStyle::None) {
  SetWindowLongPtrW(form_.frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  loaded_.add();
  showMenuBar();
}

Win32Window::~Win32Window() {
  // Detached first, so that the messages DestroyWindow sends run no handler.
  SetWindowLongPtrW(form_.frame, GWLP_USERDATA, 0);
  // The menus are the menu bar's to destroy, not the window's.
  SetMenu(form_.frame, nullptr);
  DestroyWindow(form_.frame);
  for (const HFONT font : form_.fonts) DeleteObject(font);
  loaded_.remove();
}

void Win32Window::setVisible(bool visible) {
  ShowWindow(form_.frame, visible ? SW_SHOW : SW_HIDE);
}

bool Win32Window::isVisible() const {
  return IsWindowVisible(form_.frame) != FALSE;
}

void Win32Window::setCaption(std::string_view control, std::string_view text) {
  if (control.empty()) SetWindowTextW(form_.frame, Utf8ToUtf16(text).c_str());
  for (std::size_t i = 0; i < declaration_.controls.size(); ++i) {
    const ControlSpec& declared = declaration_.controls[i];
    if (declared.name != control || !form_.controls[i]) continue;
    const bool view = declared.kind == ControlKind::TextView;
    SetWindowTextW(form_.controls[i], Utf8ToUtf16(view ? WithCrLf(text) : text).c_str());
  }
}

std::string Win32Window::text(std::string_view control) const {
  const HWND box = controlNamed(control);
  if (!box) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  return FromUtf16(CP_UTF8, text);
}

void Win32Window::addItem(std::string_view control, std::string_view text) {
  if (const HWND list = controlNamed(control)) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToUtf16(text).c_str()));
  }
}

// CB_ERR is -1, which is none here too.
int Win32Window::listIndex(std::string_view control) const {
  const HWND list = controlNamed(control);
  return list ? static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)) : -1;
}

// CB_SETCURSEL sends no CBN_SELCHANGE, so no handler runs.
void Win32Window::setListIndex(std::string_view control, int index) {
  if (const HWND list = controlNamed(control)) {
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
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

void Win32Window::setMenuVisible(std::string_view menu, bool visible) {
  if (menuBar_.setVisible(menu, visible)) showMenuBar();
}

void Win32Window::popUpMenu(std::string_view menu) {
  const HMENU items = menuBar_.itemsOf(menu);
  POINT cursor{};
  if (!items || !GetCursorPos(&cursor)) return;
  TrackPopupMenu(items, 0, cursor.x, cursor.y, 0, form_.frame, nullptr);
}

// The system may refuse the foreground to a program while another one has it (as Wine did once
// the system-information viewer had started); a shown window still comes to the top of the
// program's own.
void Win32Window::bringToForeground() {
  SetForegroundWindow(form_.frame);
  if (IsWindowVisible(form_.frame)) BringWindowToTop(form_.frame);
}

// The ANSI calls are the ones the program has always made.
void Win32Window::dragWithMouse() {
  ReleaseCapture();
  SendMessageA(form_.frame, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void Win32Window::move(int left, int top) {
  SetWindowPos(form_.frame, nullptr, TwipsToPixels(left, form_.dpiX),
               TwipsToPixels(top, form_.dpiY), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

long Win32Window::setTopmost(bool topmost) {
  return SetWindowPos(form_.frame, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                      kTopmostFlags);
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
      return defaultButtonId();
    case WM_SETFOCUS:
      if (const HWND target = firstTabStop()) SetFocus(target);
      return 0;
    case WM_MOUSEMOVE:
      return onMouse(declaration_.onMouseMove, ButtonsOf(wParam), wParam, lParam);
    case WM_LBUTTONDOWN:
      return onMouse(declaration_.onMouseDown, 1, wParam, lParam);
    case WM_RBUTTONDOWN:
      return onMouse(declaration_.onMouseDown, 2, wParam, lParam);
    case WM_MBUTTONDOWN:
      return onMouse(declaration_.onMouseDown, 4, wParam, lParam);
    case WM_PAINT: {
      PAINTSTRUCT paint;
      paintLines(BeginPaint(form_.frame, &paint));
      EndPaint(form_.frame, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      paintLines(reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      return std::nullopt;
  }
}

std::optional<LRESULT> Win32Window::onCommand(WPARAM wParam, LPARAM lParam) {
  // Menu items and Esc (IDCANCEL from IsDialogMessage) come with no control.
  if (HIWORD(wParam) == 0 && lParam == 0) {
    if (const auto* handler = menuBar_.handlerOf(LOWORD(wParam))) return Run(*handler);
    for (const ControlSpec& control : declaration_.controls) {
      if (LOWORD(wParam) == IDCANCEL && control.isCancel) return Run(control.onClick);
    }
  }
  const auto index = static_cast<std::size_t>(LOWORD(wParam) - kFirstControlId);
  if (lParam == 0 || index >= declaration_.controls.size()) return std::nullopt;
  // A drop-down list's click is the user's pick.
  const ControlSpec& control = declaration_.controls[index];
  const WORD click = control.kind == ControlKind::DropDownList ? CBN_SELCHANGE : BN_CLICKED;
  if (HIWORD(wParam) != click) return std::nullopt;
  return Run(control.onClick);
}

// The button Enter presses: as in a dialog box, the focused button, else the default one.
LRESULT Win32Window::defaultButtonId() const {
  const HWND focus = GetFocus();
  std::optional<std::size_t> pressed;
  for (std::size_t i = 0; i < declaration_.controls.size(); ++i) {
    const ControlSpec& control = declaration_.controls[i];
    if (control.kind != ControlKind::Button) continue;
    if (form_.controls[i] == focus) pressed = i;
    if (control.isDefault && !pressed) pressed = i;
  }
  return pressed ? MAKELRESULT(kFirstControlId + *pressed, DC_HASDEFID) : 0;
}

// The shell's tray notifications come this way too, with the code of the mouse message over the
// icon as the horizontal position.
std::optional<LRESULT> Win32Window::onMouse(const std::function<void(const MouseEvent&)>& handler,
                                            int button, WPARAM wParam, LPARAM lParam) const {
  if (!handler) return std::nullopt;
  const MouseEvent event{button, ShiftOf(wParam),
                         static_cast<short>(LOWORD(lParam)) * kTwipsPerInch / form_.dpiX,
                         static_cast<short>(HIWORD(lParam)) * kTwipsPerInch / form_.dpiY};
  // A copy: the handler may unload the window.
  const auto run = handler;
  run(event);
  return 0;
}

// The client area keeps its declared size as the menu bar comes and goes.
void Win32Window::showMenuBar() {
  if (GetMenu(form_.frame) != menuBar_.bar()) SetMenu(form_.frame, menuBar_.bar());
  RECT client{};
  RECT frame{};
  GetClientRect(form_.frame, &client);
  GetWindowRect(form_.frame, &frame);
  const LONG wider = form_.client.cx - client.right;
  const LONG taller = form_.client.cy - client.bottom;
  if (wider == 0 && taller == 0) return;
  SetWindowPos(form_.frame, nullptr, 0, 0, frame.right - frame.left + wider,
               frame.bottom - frame.top + taller, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Lines lie on the form itself, under its controls.
void Win32Window::paintLines(HDC dc) const {
  for (const ControlSpec& control : declaration_.controls) {
    const PixelRect at = TwipsToPixels(control.at, form_.dpiX, form_.dpiY);
    const POINT from{at.left, at.top};
    const POINT to{at.left + at.width, at.top + at.height};
    if (control.kind == ControlKind::Line) DrawLine(dc, from, to, COLOR_WINDOWTEXT);
    if (control.kind == ControlKind::EtchedLine) {
      // The white line below a level one, beside an upright one.
      const int down = at.width >= at.height ? 1 : 0;
      DrawLine(dc, from, to, COLOR_BTNSHADOW);
      DrawLine(dc, {from.x + 1 - down, from.y + down}, {to.x + 1 - down, to.y + down},
               COLOR_BTNHIGHLIGHT);
    }
  }
}

HWND Win32Window::controlNamed(std::string_view name) const {
  for (std::size_t i = 0; i < declaration_.controls.size(); ++i) {
    if (declaration_.controls[i].name == name) return form_.controls[i];
  }
  return nullptr;
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
