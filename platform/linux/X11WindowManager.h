// What the window manager needs to hear that Qt has no API for.
#pragma once

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

}  // namespace platform
