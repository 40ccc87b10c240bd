#include "platform/windows/Win32MessageWindow.h"

#include <utility>

namespace platform {
namespace {

constexpr wchar_t kClass[] = L"Velostrander.Messages";

}  // namespace

Win32MessageWindow::Win32MessageWindow(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClass;
  RegisterClassExW(&windowClass);
  hwnd_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32MessageWindow::~Win32MessageWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

UINT Win32MessageWindow::newMessage() {
  return nextMessage_++;
}

void Win32MessageWindow::setHandler(UINT message, Handler handler) {
  handlers_[message] = std::move(handler);
}

void Win32MessageWindow::removeHandler(UINT message) {
  handlers_.erase(message);
}

LRESULT CALLBACK Win32MessageWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  auto* window = reinterpret_cast<Win32MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window && window->dispatch(message, wParam, lParam)) return 0;
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Runs a copy: the handler may remove itself, and its owner with it.
bool Win32MessageWindow::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  const auto found = handlers_.find(message);
  if (found == handlers_.end()) return false;
  const Handler handler = found->second;
  handler(wParam, lParam);
  return true;
}

}  // namespace platform
