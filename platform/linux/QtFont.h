#pragma once

#include <QFont>

#include "platform/Form.h"

namespace platform {

// The declared face where the desktop has it; in its place the desktop's Japanese gothic, since
// the faces the windows were drawn with are Windows' Japanese ones.
QFont ToQFont(const Font& font);

}  // namespace platform
