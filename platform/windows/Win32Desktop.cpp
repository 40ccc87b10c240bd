#include "platform/windows/Win32Desktop.h"

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

constexpr double kTwipsPerInch = 1440;

}  // namespace

std::unique_ptr<Window> Win32Desktop::createWindow(const FormSpec& declaration) {
  return std::make_unique<Win32Window>(forms_.create(declaration), declaration, loaded_);
}

void Win32Desktop::showMessage(std::string_view text, std::string_view title) {
  MessageBoxW(nullptr, Utf8ToUtf16(text).c_str(), Utf8ToUtf16(title).c_str(), MB_OK | MB_TASKMODAL);
}

void Win32Desktop::endProgram() {
  ExitProcess(0);
}

void Win32Desktop::processPendingEvents() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The event loop ends on it once this returns.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    dispatch(message);
  }
}

double Win32Desktop::twipsPerPixelX() const {
  return kTwipsPerInch / forms_.dpiX();
}

// The primary screen without the task bars.
Geometry Win32Desktop::workArea() const {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return PixelsToTwips({area.left, area.top, area.right - area.left, area.bottom - area.top},
                       forms_.dpiX(), forms_.dpiY());
}

void Win32Desktop::runEventLoop() {
  for (;;) {
    waits_.wait(INFINITE);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return;
      dispatch(message);
    }
  }
}

void Win32Desktop::dispatch(MSG& message) const {
  const HWND form = formOf(message.hwnd);
  if (form && IsDialogMessageW(form, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

// Tab, Enter and Space then work on a form's buttons as they do in a dialog box.
HWND Win32Desktop::formOf(HWND hwnd) const {
  const HWND root = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
  return root && forms_.isForm(root) ? root : nullptr;
}

}  // namespace platform
