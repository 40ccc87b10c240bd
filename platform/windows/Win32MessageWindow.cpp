#include "platform/windows/Win32MessageWindow.h"

#include <utility>

namespace platform {
namespace {

constexpr wchar_t kClass[] = L"Velostrander.Messages";

}  // namespace

HWND CreateOwnedWindow(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, void* owner,
                       const wchar_t* title, DWORD exStyle, DWORD style, HWND parent) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
  const HWND window =
      CreateWindowExW(exStyle, name, title, style, 0, 0, 0, 0, parent, nullptr, instance, nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
  return window;
}

void DestroyOwnedWindow(HWND window) {
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

Win32MessageWindow::Win32MessageWindow(HINSTANCE instance)
    : hwnd_(CreateOwnedWindow(instance, kClass, &WindowProc, this, L"", 0, 0, HWND_MESSAGE)) {}

Win32MessageWindow::~Win32MessageWindow() {
  DestroyOwnedWindow(hwnd_);
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
