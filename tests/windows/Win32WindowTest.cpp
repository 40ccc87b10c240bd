#include <gtest/gtest.h>

#include <string>

#include "platform/windows/Win32Desktop.h"
#include "windows/WindowsHarness.h"

namespace {

// A window of the declared form on the backend's desktop.
std::unique_ptr<platform::Window> Create(const platform::FormSpec& declaration) {
  return win32test::TheBackend().desktop.createWindow(declaration);
}

HWND Frame(platform::Window& window) {
  return static_cast<platform::Win32Window&>(window).frame();
}

SIZE ClientSize(HWND frame) {
  RECT client{};
  GetClientRect(frame, &client);
  return {client.right, client.bottom};
}

}  // namespace

// Windows sends WM_ENDSESSION from another thread, and COM's modal loop hands it on in the
// middle of any call into the browser: the unload must not run inside the sender's call.
TEST(Win32Window, TheSystemsCloseRunsFromTheWindowsOwnQueue) {
  platform::FormSpec declaration;
  declaration.caption = "Velostrander end of session";
  bool closed = false;
  declaration.onClose = [&] { closed = true; };
  const auto window = Create(declaration);
  const HWND frame = FindWindowW(nullptr, L"Velostrander end of session");
  ASSERT_NE(frame, nullptr);
  SendMessageW(frame, WM_ENDSESSION, TRUE, 0);
  EXPECT_FALSE(closed);
  EXPECT_TRUE(harness::PumpUntil([&] { return closed; }));
}

// The panel's frame: 1575 by 495 twips, its lines on its last twips.
TEST(Win32Window, ThePanelsLinesLieOnItsOutermostPixelsBothEndsDrawn) {
  platform::FormSpec panel;
  panel.frame = platform::FrameStyle::None;
  panel.clientWidth = 1575;
  panel.clientHeight = 495;
  const auto line = [](platform::Geometry at) {
    return platform::Control("Line", platform::ControlKind::Line, at);
  };
  panel.controls = {line({0, 0, 0, 480}), line({1560, 0, 0, 480}), line({0, 0, 1560, 0}),
                    line({0, 480, 1560, 0})};
  const auto window = Create(panel);
  ASSERT_TRUE(ClientSize(Frame(*window)).cx == 105 && ClientSize(Frame(*window)).cy == 33);

  const HDC screen = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, 105, 33);
  ReleaseDC(nullptr, screen);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  const COLORREF ground = RGB(1, 2, 3);
  const RECT all{0, 0, 105, 33};
  SetDCBrushColor(dc, ground);
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  SendMessageW(Frame(*window), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
  bool framed = GetPixel(dc, 1, 1) == ground;
  for (int x = 0; x < 105; ++x)
    framed = framed && GetPixel(dc, x, 0) == ink && GetPixel(dc, x, 32) == ink;
  for (int y = 0; y < 33; ++y)
    framed = framed && GetPixel(dc, 0, y) == ink && GetPixel(dc, 104, y) == ink;
  EXPECT_TRUE(framed);
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST(Win32Window, ATextBoxTakesTextOfAnyLengthAndATextViewBreaksItsLinesAndPassesTabOn) {
  platform::FormSpec declaration;
  declaration.controls = {platform::Control("Text1", platform::ControlKind::TextBox, {}),
                          platform::Control("Help", platform::ControlKind::TextView, {})};
  const auto window = Create(declaration);
  EXPECT_TRUE(SendMessageW(GetDlgItem(Frame(*window), 100), EM_GETLIMITTEXT, 0, 0) > 32767);
  window->setCaption("Help", "一\n二\r\n");
  EXPECT_EQ(window->text("Help"), "一\r\n二\r\n");
  EXPECT_FALSE((SendMessageW(GetDlgItem(Frame(*window), 101), WM_GETDLGCODE, VK_TAB, 0) &
                (DLGC_WANTTAB | DLGC_WANTALLKEYS)));
}
