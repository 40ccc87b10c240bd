#include "platform/linux/QtDesktop.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>
#include <cstdio>

#include "platform/linux/QtFormWidget.h"
#include "platform/linux/QtText.h"
#include "platform/linux/QtWindow.h"

namespace platform {

QtDesktop::QtDesktop() : systemClose_([this] { closeAllWindows(); }) {
  QtFormWidget::describeToAccessibility();
}

std::unique_ptr<Window> QtDesktop::createWindow(const FormSpec& declaration) {
  return std::make_unique<QtWindow>(*this, declaration);
}

void QtDesktop::showMessage(std::string_view text, std::string_view title) {
  QMessageBox box(QMessageBox::NoIcon, ToQString(title), ToQString(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void QtDesktop::endProgram() {
  std::fflush(nullptr);
  _exit(0);
}

void QtDesktop::processPendingEvents() {
  QCoreApplication::processEvents();
}

double QtDesktop::twipsPerPixelX() const {
  constexpr double kTwipsPerInch = 1440.0;
  const QScreen* screen = QGuiApplication::primaryScreen();
  return kTwipsPerInch / (screen ? screen->logicalDotsPerInchX() : 96.0);
}

// As the window manager reports it: the screen without the panels and docks that reserve room.
Geometry QtDesktop::workArea() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRect area = screen->availableGeometry();
  return PixelsToTwips({area.x(), area.y(), area.width(), area.height()},
                       screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY());
}

void QtDesktop::windowLoaded(QtWindow* window) {
  loaded_.push_back(window);
}

void QtDesktop::windowUnloaded(QtWindow* window) {
  std::erase(loaded_, window);
  // Ends an open message box's loop too. Before the main loop has started, main() finds no
  // loaded window and does not start it.
  if (loaded_.empty()) QCoreApplication::exit(0);
}

void QtDesktop::closeAllWindows() {
  const std::vector<QtWindow*> windows = loaded_;
  for (QtWindow* window : windows) {
    // A handler may unload other windows than its own.
    if (std::find(loaded_.begin(), loaded_.end(), window) == loaded_.end()) continue;
    const auto handler = window->onClose();  // a copy: the handler destroys the window
    if (handler) handler();
  }
}

}  // namespace platform
