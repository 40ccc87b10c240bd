#pragma once

#include <cstdint>

#include "platform/Desktop.h"

namespace child {

// Mode 1 places the form above all windows that are not topmost themselves, mode 0 takes it
// back among them; the system's result, or 0 for any other mode.
long SetTopmost(platform::Window& form, std::int16_t mode);

}  // namespace child
