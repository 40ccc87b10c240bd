#include "platform/qt/QtFormWidget.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <utility>

namespace platform {
namespace {

// Not dynamic_cast: Qt WebEngine's objects come from code built without RTTI.
QAccessibleInterface* AccessibleForm(const QString&, QObject* object) {
  auto* form = qobject_cast<QtFormWidget*>(object);
  return form ? new QAccessibleWidget(form, QAccessible::Window) : nullptr;
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

}  // namespace platform
