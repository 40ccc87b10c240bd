#include "platform/qt/QtWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <utility>

#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtProgramIcon.h"
#include "platform/qt/QtText.h"
#include "platform/qt/QtX11.h"

namespace platform {
namespace {

// Device-independent pixels: with Qt's high-DPI scaling the logical DPI is what one of them
// stands for.
QRect ToPixels(const Geometry& twips, const QScreen& screen) {
  const PixelRect pixels =
      TwipsToPixels(twips, screen.logicalDotsPerInchX(), screen.logicalDotsPerInchY());
  return QRect(pixels.left, pixels.top, pixels.width, pixels.height);
}

Qt::WindowFlags FlagsFor(FrameStyle frame) {
  if (frame == FrameStyle::None) return Qt::Window | Qt::FramelessWindowHint;
  return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
         Qt::WindowCloseButtonHint;
}

QWidget* CreateControl(const ControlSpec& control, QWidget* form) {
  const QString caption = ToQString(control.caption);
  if (control.kind == ControlKind::Button) {
    auto* button = new QPushButton(caption, form);
    // Return presses the focused button, as in a Windows dialog box; Qt does so only in its own.
    button->setAutoDefault(true);
    return button;
  }
  auto* label = new QLabel(caption, form);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

QtWindow::QtWindow(QtDesktop& desktop, const FormSpec& declaration)
    : desktop_(desktop),
      onClose_(declaration.onClose),
      showInTaskbar_(declaration.showInTaskbar),
      widget_(new QtFormWidget(declaration.onClose)) {
  widget_->setObjectName(ToQString(declaration.name));
  widget_->setWindowFlags(FlagsFor(declaration.frame));
  widget_->setWindowTitle(ToQString(declaration.caption));
  if (declaration.programIcon) widget_->setWindowIcon(ProgramIcon());
  widget_->setFixedSize(
      ToPixels({0, 0, declaration.clientWidth, declaration.clientHeight}, *widget_->screen())
          .size());
  addControls(declaration.controls);
  prepareNativeWindow();
  desktop_.windowLoaded(this);
}

QtWindow::~QtWindow() {
  for (const auto& connection : clickConnections_) QObject::disconnect(connection);
  widget_->detach();
  widget_->hide();
  widget_->deleteLater();
  desktop_.windowUnloaded(this);
}

void QtWindow::addControls(const std::vector<ControlSpec>& controls) {
  std::vector<std::pair<int, QWidget*>> tabStops;
  for (const ControlSpec& control : controls) {
    QWidget* widget = addControl(control);
    if (control.tabIndex >= 0) tabStops.emplace_back(control.tabIndex, widget);
  }
  std::stable_sort(tabStops.begin(), tabStops.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < tabStops.size(); ++i) {
    QWidget::setTabOrder(tabStops[i - 1].second, tabStops[i].second);
  }
}

QWidget* QtWindow::addControl(const ControlSpec& control) {
  QWidget* widget = CreateControl(control, widget_);
  widget->setObjectName(ToQString(control.name));
  widget->setGeometry(ToPixels(control.at, *widget_->screen()));
  if (control.tabIndex < 0 && widget->focusPolicy() != Qt::NoFocus) {
    widget->setFocusPolicy(Qt::ClickFocus);
  }
  if (auto* button = qobject_cast<QPushButton*>(widget); button && control.onClick) {
    // The connection owns a copy of the handler, which Qt keeps alive while it runs even when
    // the handler unloads this window.
    clickConnections_.push_back(QObject::connect(button, &QPushButton::clicked,
                                                 [handler = control.onClick] { handler(); }));
  }
  return widget;
}

// The native window exists from the start, so that what the window manager and the
// accessibility tree see of a never-shown window is already right.
void QtWindow::prepareNativeWindow() {
  widget_->winId();
  if (!showInTaskbar_) KeepOutOfTaskbar(*widget_);
}

void QtWindow::setVisible(bool visible) {
  if (visible && !widget_->isVisible()) prepareNativeWindow();
  widget_->setVisible(visible);
}

bool QtWindow::isVisible() const {
  return widget_->isVisible();
}

void QtWindow::setCaption(std::string_view control, std::string_view text) {
  auto* widget = widget_->findChild<QWidget*>(ToQString(control), Qt::FindDirectChildrenOnly);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(ToQString(text));
  if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(ToQString(text));
}

void QtWindow::disableCloseCommand() {
  widget_->refuseUserClose();
  const bool shown = widget_->isVisible();
  // Changing the flags may re-create the native window, hidden.
  widget_->setWindowFlag(Qt::WindowCloseButtonHint, false);
  prepareNativeWindow();
  if (shown) setVisible(true);
}

}  // namespace platform
