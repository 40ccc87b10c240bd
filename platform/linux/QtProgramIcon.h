#pragma once

#include <QIcon>

namespace platform {

// Built into the program from assets/velostrander.png.
inline QIcon ProgramIcon() {
  return QIcon(QStringLiteral(":/velostrander.png"));
}

}  // namespace platform
