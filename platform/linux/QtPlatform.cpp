#include "platform/linux/QtPlatform.h"

#include <clocale>

namespace platform {

QtPlatform::ProcessSetup::ProcessSetup() {
  // Settings files and datagrams are in the user's locale, whatever the toolkit makes of it.
  std::setlocale(LC_ALL, "");
}

namespace {

constexpr const char* kOwnEventLoop = "QT_NO_GLIB";

}  // namespace

OwnEventLoopSwitch::OwnEventLoopSwitch()
    : setHere(qEnvironmentVariableIsEmpty(kOwnEventLoop) && qputenv(kOwnEventLoop, "1")) {}

QtApplication::QtApplication(int& argc, char** argv) : QApplication(argc, argv) {
  if (setHere) qunsetenv(kOwnEventLoop);
}

QtPlatform::QtPlatform(int& argc, char** argv) : application_(argc, argv) {
  // A hidden window still keeps the program running; it ends when no window is loaded.
  QApplication::setQuitOnLastWindowClosed(false);
}

int QtPlatform::run() {
  const int code = desktop_.anyWindowLoaded() ? QApplication::exec() : 0;
  // What was released last, in the loop's last pass, goes before the application does.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return code;
}

}  // namespace platform
