#include "platform/windows/Win32Platform.h"

namespace platform {

Win32Platform::Win32Platform(HINSTANCE instance)
    : desktop_(instance),
      messages_(instance),
      network_(messages_),
      resolver_(messages_),
      scheduler_(messages_),
      browserPrograms_(desktop_.waits()),
      browsers_(browserPrograms_, scheduler_, &internetExplorer_),
      tray_(instance) {}

int Win32Platform::run() {
  if (desktop_.anyWindowLoaded()) desktop_.runEventLoop();
  return 0;
}

}  // namespace platform
