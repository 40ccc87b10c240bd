// What the window manager needs to hear that Qt has no API for.
#pragma once

#include <cstdint>
#include <vector>

class QWidget;

namespace platform {

// Keeps the top-level `window` out of the taskbar from its next mapping on. The window manager
// forgets the state whenever the window is hidden, so call it before each show. Does nothing
// outside X11.
void KeepOutOfTaskbar(QWidget& window);

// Keeps the top-level `window` above the windows that are not kept above themselves, or takes it
// back among them, without re-creating it: at once when it is shown, or else from its next
// mapping on (call it again before each show). False outside X11.
bool KeepAbove(QWidget& window, bool above);

// A top-level window of another program, withdrawn, and the _NET_WM_STATE it had: the window
// manager drops the states of a withdrawn window, full screen among them.
struct WithdrawnWindow {
  uint32_t window;
  std::vector<uint32_t> states;
};

// Withdraws (unmaps) every top-level window that the window manager lists for the process `pid`
// (its _NET_WM_PID). Nothing outside X11.
std::vector<WithdrawnWindow> WithdrawWindowsOf(int64_t pid);

// Maps the windows again with the states they had. Windows that have gone meanwhile are skipped.
void MapWindows(const std::vector<WithdrawnWindow>& windows);

}  // namespace platform
