#pragma once

#include <QMetaObject>
#include <functional>
#include <vector>

#include "platform/Desktop.h"
#include "platform/qt/QtFormWidget.h"

namespace platform {

class QtDesktop;

// A FormSpec rendered as a QWidget, loaded for as long as this object lives.
class QtWindow final : public Window {
 public:
  QtWindow(QtDesktop& desktop, const FormSpec& declaration);
  ~QtWindow() override;
  QtWindow(const QtWindow&) = delete;
  QtWindow& operator=(const QtWindow&) = delete;

  void setVisible(bool visible) override;
  bool isVisible() const override;
  void setCaption(std::string_view control, std::string_view text) override;
  void disableCloseCommand() override;

  // The handler the system's close runs.
  const std::function<void()>& onClose() const { return onClose_; }

 private:
  void addControls(const std::vector<ControlSpec>& controls);
  QWidget* addControl(const ControlSpec& control);
  void prepareNativeWindow();

  QtDesktop& desktop_;
  const std::function<void()> onClose_;
  const bool showInTaskbar_;
  // Deleted later, not here: the window may be unloaded from one of its own event handlers.
  QtFormWidget* const widget_;
  std::vector<QMetaObject::Connection> clickConnections_;
};

}  // namespace platform
