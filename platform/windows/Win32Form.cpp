#include "platform/windows/Win32Form.h"

#include <commctrl.h>

#include "platform/windows/Win32Text.h"
#include "platform/windows/resource.h"

namespace platform {
namespace {

constexpr wchar_t kFormClass[] = L"Velostrander.Form";
constexpr wchar_t kOwnerClass[] = L"Velostrander.HiddenOwner";
// As many as the system's own drop-down lists show before they scroll.
constexpr int kEntriesWhenDropped = 30;
constexpr int kListBorders = 2;

struct FrameStyles {
  DWORD style;
  DWORD exStyle;
};

FrameStyles StylesOf(FrameStyle frame) {
  switch (frame) {
    case FrameStyle::FixedDialog:
      return {WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT};
    case FrameStyle::None:
      return {WS_POPUP | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT};
  }
  return {WS_POPUP, 0};
}

// Closing the owner would destroy every window it owns behind their objects' backs.
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Returns the form class's atom.
ATOM RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = &Win32Window::WindowProc;
  form.hInstance = instance;
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  form.lpszClassName = kFormClass;
  const ATOM formClass = RegisterClassExW(&form);

  WNDCLASSEXW owner{};
  owner.cbSize = sizeof owner;
  owner.lpfnWndProc = &OwnerProc;
  owner.hInstance = instance;
  owner.lpszClassName = kOwnerClass;
  RegisterClassExW(&owner);
  return formClass;
}

HFONT CreateMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// Sizes a font in points at the screen's vertical resolution; Japanese faces need their own
// character set to be chosen over a substitute.
HFONT CreateControlFont(const Font& font, int dpiY) {
  return CreateFontW(-MulDiv(font.points, dpiY, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, Utf8ToUtf16(font.face).c_str());
}

int LineHeight(HFONT font) {
  const HDC screen = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(screen, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  SelectObject(screen, previous);
  ReleaseDC(nullptr, screen);
  return metrics.tmHeight + metrics.tmExternalLeading;
}

// `wraps`: a label wraps within its width when it has room for a second line; one a single line
// high is clipped instead, so that a face wider than the layout's pushes no word out of sight.
DWORD ControlStyle(const ControlSpec& control, bool wraps) {
  const DWORD common = WS_CHILD | WS_VISIBLE | (control.tabIndex >= 0 ? WS_TABSTOP : 0);
  switch (control.kind) {
    case ControlKind::Label:
      return common | (wraps ? SS_LEFT : SS_LEFTNOWORDWRAP) | (control.onClick ? SS_NOTIFY : 0);
    case ControlKind::Button:
      return common | (control.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    case ControlKind::ProgramIcon:
      return common | SS_ICON;
    case ControlKind::TextBox:
      return common | ES_LEFT | ES_AUTOHSCROLL;
    case ControlKind::DropDownList:
      return common | CBS_DROPDOWNLIST | WS_VSCROLL;
    case ControlKind::TextView:
      return common | ES_LEFT | ES_MULTILINE | ES_READONLY | WS_VSCROLL;
    case ControlKind::Line:
    case ControlKind::EtchedLine:
      break;
  }
  return common;
}

const wchar_t* ControlClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::Button:
      return WC_BUTTONW;
    case ControlKind::TextBox:
    case ControlKind::TextView:
      return WC_EDITW;
    case ControlKind::DropDownList:
      return WC_COMBOBOXW;
    default:
      return WC_STATICW;
  }
}

DWORD ControlExStyle(ControlKind kind) {
  return kind == ControlKind::TextBox || kind == ControlKind::TextView ? WS_EX_CLIENTEDGE : 0;
}

// A multi-line edit control asks for every key, Tab among them; text only to read has no use for
// them, so Tab moves on, and Enter and Esc reach the window's buttons.
LRESULT CALLBACK ReadOnlyTextProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &ReadOnlyTextProc, id);
  const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
  return message == WM_GETDLGCODE ? result & ~(DLGC_WANTTAB | DLGC_WANTALLKEYS) : result;
}

// The height a drop-down list is created with is its field's and its dropped list's together.
void ShowEntriesWhenDropped(HWND list, const PixelRect& at) {
  const auto entry = static_cast<int>(SendMessageW(list, CB_GETITEMHEIGHT, 0, 0));
  SetWindowPos(list, nullptr, 0, 0, at.width,
               at.height + kEntriesWhenDropped * entry + kListBorders,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

Win32Forms::Win32Forms(HINSTANCE instance) : instance_(instance) {
  // Loads the version 6 controls that the manifest asks for.
  INITCOMMONCONTROLSEX controls{static_cast<DWORD>(sizeof(INITCOMMONCONTROLSEX)),
                                ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  formClass_ = RegisterClasses(instance_);
  const HDC screen = GetDC(nullptr);
  dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
  dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  font_ = CreateMessageFont();
}

Win32Forms::~Win32Forms() {
  if (hiddenOwner_) DestroyWindow(hiddenOwner_);
  if (font_) DeleteObject(font_);
}

NativeForm Win32Forms::create(const FormSpec& declaration) {
  NativeForm form;
  form.frame = createFrame(declaration);
  createControls(form, declaration);
  if (declaration.programIcon) setProgramIcon(form.frame);
  const PixelRect client = toPixels({0, 0, declaration.clientWidth, declaration.clientHeight});
  form.client = {client.width, client.height};
  form.dpiX = dpiX_;
  form.dpiY = dpiY_;
  return form;
}

bool Win32Forms::isForm(HWND root) const {
  return GetClassLongPtrW(root, GCW_ATOM) == formClass_;
}

HWND Win32Forms::createFrame(const FormSpec& declaration) {
  const FrameStyles styles = StylesOf(declaration.frame);
  const PixelRect client = toPixels({0, 0, declaration.clientWidth, declaration.clientHeight});
  RECT bounds{0, 0, client.width, client.height};
  AdjustWindowRectEx(&bounds, styles.style, FALSE, styles.exStyle);
  // A window owned by a hidden window gets no taskbar button but keeps its own title bar.
  const HWND owner = declaration.showInTaskbar ? nullptr : hiddenOwner();
  return CreateWindowExW(styles.exStyle, kFormClass, Utf8ToUtf16(declaration.caption).c_str(),
                         styles.style, CW_USEDEFAULT, CW_USEDEFAULT, bounds.right - bounds.left,
                         bounds.bottom - bounds.top, owner, nullptr, instance_, nullptr);
}

void Win32Forms::createControls(NativeForm& form, const FormSpec& declaration) {
  for (const ControlSpec& control : declaration.controls) {
    const auto id = static_cast<INT_PTR>(Win32Window::kFirstControlId + form.controls.size());
    if (control.kind == ControlKind::Line || control.kind == ControlKind::EtchedLine) {
      form.controls.push_back(nullptr);
      continue;
    }
    const PixelRect at = toPixels(control.at);
    const bool view = control.kind == ControlKind::TextView;
    const Font& wanted = control.font.face.empty() ? declaration.font : control.font;
    const HFONT font =
        wanted.face.empty() ? font_ : form.fonts.emplace_back(CreateControlFont(wanted, dpiY_));
    const HWND hwnd = CreateWindowExW(
        ControlExStyle(control.kind), ControlClass(control.kind),
        Utf8ToUtf16(view ? WithCrLf(control.caption) : control.caption).c_str(),
        ControlStyle(control, at.height >= 2 * LineHeight(font)), at.left, at.top, at.width,
        at.height, form.frame, reinterpret_cast<HMENU>(id), instance_, nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (control.kind == ControlKind::ProgramIcon) {
      SendMessageW(hwnd, STM_SETICON, reinterpret_cast<WPARAM>(programIcon(SM_CXICON, SM_CYICON)),
                   0);
    }
    // Zero lifts the 32,767 characters a user may type by default.
    if (control.kind == ControlKind::TextBox) SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
    if (control.kind == ControlKind::DropDownList) ShowEntriesWhenDropped(hwnd, at);
    if (view) SetWindowSubclass(hwnd, &ReadOnlyTextProc, 0, 0);
    form.controls.push_back(hwnd);
  }
}

void Win32Forms::setProgramIcon(HWND frame) const {
  SendMessageW(frame, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(programIcon(SM_CXICON, SM_CYICON)));
  SendMessageW(frame, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(programIcon(SM_CXSMICON, SM_CYSMICON)));
}

HICON Win32Forms::programIcon(int widthMetric, int heightMetric) const {
  return static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_SHARED));
}

HWND Win32Forms::hiddenOwner() {
  if (!hiddenOwner_) {
    hiddenOwner_ = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   instance_, nullptr);
  }
  return hiddenOwner_;
}

PixelRect Win32Forms::toPixels(const Geometry& twips) const {
  return TwipsToPixels(twips, dpiX_, dpiY_);
}

}  // namespace platform
