// What the window manager needs to hear that Qt has no API for.
#pragma once

class QWidget;

namespace platform {

// Keeps the top-level `window` out of the taskbar from its next mapping on. The window manager
// forgets the state whenever the window is hidden, so call it before each show. Does nothing
// outside X11.
void KeepOutOfTaskbar(QWidget& window);

}  // namespace platform
