#include "platform/linux/QtPlatform.h"

#include <clocale>

namespace platform {
namespace {

// Only a program that has no browser asks for none: should it ask, it hears why there is none.
class NoBrowsers final : public BrowserFactory {
 public:
  BrowserCreation create() override {
    return {nullptr, "Qt WebEngine", "not a part of this program"};
  }
};

}  // namespace

QtPlatform::ProcessSetup::ProcessSetup() {
  // Settings files and datagrams are in the user's locale, whatever the toolkit makes of it.
  std::setlocale(LC_ALL, "");
}

QtPlatform::QtPlatform(int& argc, char** argv, std::unique_ptr<BrowserFactory> browsers)
    : application_(argc, argv),
      browsers_(browsers ? std::move(browsers) : std::make_unique<NoBrowsers>()) {
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
