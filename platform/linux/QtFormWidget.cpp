#include "platform/linux/QtFormWidget.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <utility>

namespace platform {
namespace {

QAccessibleInterface* AccessibleForm(const QString&, QObject* object) {
  auto* form = qobject_cast<QtFormWidget*>(object);
  return form ? new QAccessibleWidget(form, QAccessible::Window) : nullptr;
}

constexpr double kTwipsPerInch = 1440.0;

int ButtonBits(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
         (buttons & Qt::MiddleButton ? 4 : 0);
}

int ShiftBits(Qt::KeyboardModifiers keys) {
  return (keys & Qt::ShiftModifier ? 1 : 0) | (keys & Qt::ControlModifier ? 2 : 0) |
         (keys & Qt::AltModifier ? 4 : 0);
}

}  // namespace

void QtFormWidget::describeToAccessibility() {
  QAccessible::installFactory(AccessibleForm);
}

QtFormWidget::QtFormWidget(std::function<void()> onUserClose)
    : onUserClose_(std::move(onUserClose)) {}

void QtFormWidget::closeEvent(QCloseEvent* event) {
  // Accepting would hide the window while it stays loaded; unloading is the handler's business.
  event->ignore();
  if (!event->spontaneous() || !userMayClose_ || !onUserClose_) return;
  // The handler unloads the window, which detaches this widget: run a copy.
  const auto handler = onUserClose_;
  handler();
}

// Reached only by the keys that the focused control leaves alone: a focused button takes Enter.
void QtFormWidget::keyPressEvent(QKeyEvent* event) {
  QPushButton* button = nullptr;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) button = defaultButton_;
  if (event->key() == Qt::Key_Escape) button = cancelButton_;
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (!button || !plain || !button->isEnabled() || !button->isVisibleTo(this)) {
    QWidget::keyPressEvent(event);
    return;
  }
  button->click();
}

QtFormBody::QtFormBody(QWidget* form, MouseHandler onMouseDown, MouseHandler onMouseMove)
    : QWidget(form), onMouseDown_(std::move(onMouseDown)), onMouseMove_(std::move(onMouseMove)) {
  setMouseTracking(static_cast<bool>(onMouseMove_));
}

void QtFormBody::mouseMoved(const MouseEvent& event) const {
  // The handler may unload the window: run a copy.
  if (const auto handler = onMouseMove_) handler(event);
}

void QtFormBody::detach() {
  onMouseDown_ = nullptr;
  onMouseMove_ = nullptr;
}

void QtFormBody::mousePressEvent(QMouseEvent* event) {
  if (const auto handler = onMouseDown_) handler(inTwips(*event, event->button()));
}

void QtFormBody::mouseMoveEvent(QMouseEvent* event) {
  mouseMoved(inTwips(*event, event->buttons()));
}

MouseEvent QtFormBody::inTwips(const QMouseEvent& event, Qt::MouseButtons buttons) const {
  const QScreen& where = *screen();
  return {ButtonBits(buttons), ShiftBits(event.modifiers()),
          event.position().x() * kTwipsPerInch / where.logicalDotsPerInchX(),
          event.position().y() * kTwipsPerInch / where.logicalDotsPerInchY()};
}

}  // namespace platform
