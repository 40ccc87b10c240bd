#pragma once

#include <QWidget>
#include <functional>

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
  // Called when the window is unloaded: from then on no handler runs.
  void detach() { onUserClose_ = nullptr; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> onUserClose_;
  bool userMayClose_ = true;
};

}  // namespace platform
