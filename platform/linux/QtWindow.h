#pragma once

#include <QMetaObject>
#include <QSize>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/linux/QtFormWidget.h"

class QMenu;
class QMenuBar;

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
  std::string text(std::string_view control) const override;
  void addItem(std::string_view control, std::string_view text) override;
  int listIndex(std::string_view control) const override;
  void setListIndex(std::string_view control, int index) override;
  void disableCloseCommand() override;
  void setMenuVisible(std::string_view menu, bool visible) override;
  void popUpMenu(std::string_view menu) override;
  void bringToForeground() override;
  void dragWithMouse() override;
  void move(int left, int top) override;
  long setTopmost(bool topmost) override;

  // The handler the system's close runs.
  const std::function<void()>& onClose() const { return onClose_; }
  // Lives as long as the window's widgets, which may outlive this object for a moment.
  QtFormBody& body() const { return *body_; }

 private:
  void addControls(const std::vector<ControlSpec>& controls);
  QWidget* addControl(const ControlSpec& control);
  QWidget* control(std::string_view name) const;
  void addMenus(const std::vector<MenuSpec>& menus);
  void addItems(QMenu& menu, const std::vector<MenuSpec>& items);
  // The menu bar over the client area while any of its menus is visible; the window is the
  // client area and the bar.
  void layOut();
  void prepareNativeWindow();

  QtDesktop& desktop_;
  const std::function<void()> onClose_;
  const bool showInTaskbar_;
  // Deleted later, not here: the window may be unloaded from one of its own event handlers.
  QtFormWidget* const widget_;
  QtFormBody* const body_;
  QSize clientSize_;
  QMenuBar* menuBar_ = nullptr;
  std::map<std::string, QMenu*, std::less<>> menus_;
  bool topmost_ = false;
  std::vector<QMetaObject::Connection> handlerConnections_;
};

}  // namespace platform
