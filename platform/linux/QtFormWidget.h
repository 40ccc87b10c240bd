#pragma once

#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "platform/Form.h"

namespace platform {

// The top-level widget of a window. Qt never closes it on its own: a close from outside either
// goes to the window's close handler, which unloads the window, or is refused.
class QtFormWidget final : public QWidget {
  Q_OBJECT

 public:
  explicit QtFormWidget(std::function<void()> onUserClose);

  // Makes assistive technology see these widgets as the windows they are, not as plain panes.
  static void describeToAccessibility();

  void refuseUserClose() { userMayClose_ = false; }
  // Enter and Esc press these where the focused control does not take the key itself, as in a
  // Windows dialog box; Qt does so only in its own.
  void setDefaultButton(QPushButton* button) { defaultButton_ = button; }
  void setCancelButton(QPushButton* button) { cancelButton_ = button; }
  // Called when the window is unloaded: from then on no handler runs.
  void detach() { onUserClose_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::function<void()> onUserClose_;
  bool userMayClose_ = true;
  QPointer<QPushButton> defaultButton_;
  QPointer<QPushButton> cancelButton_;
};

// The window's client area, below its menu bar: the controls sit on it, and the mouse events on
// the window's body arrive on it.
class QtFormBody final : public QWidget {
 public:
  using MouseHandler = std::function<void(const MouseEvent&)>;
  QtFormBody(QWidget* form, MouseHandler onMouseDown, MouseHandler onMouseMove);

  // Also the way the tray hands its mouse messages to the window.
  void mouseMoved(const MouseEvent& event) const;
  // Called when the window is unloaded: from then on no handler runs.
  void detach();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  MouseEvent inTwips(const QMouseEvent& event, Qt::MouseButtons buttons) const;

  MouseHandler onMouseDown_;
  MouseHandler onMouseMove_;
};

}  // namespace platform
