#pragma once

#include <QMainWindow>
#include <functional>

class QAction;
class QLineEdit;
class QToolBar;
class QUrl;
class QWebEngineView;

namespace platform {

// The browser's top-level window: a web view with a tool bar and a menu bar. Once the user has
// closed it or its page's renderer has died, it is gone: hidden, and deleted soon after.
class QtBrowserWindow final : public QMainWindow {
 public:
  QtBrowserWindow();
  ~QtBrowserWindow() override;
  QtBrowserWindow(const QtBrowserWindow&) = delete;
  QtBrowserWindow& operator=(const QtBrowserWindow&) = delete;

  void navigate(const QUrl& url);
  bool busy() const { return busy_; }
  // Called when busy() may have changed: after each navigate() too.
  void setBusyHandler(std::function<void()> handler) { busyChanged_ = std::move(handler); }
  void setFullScreen(bool on);
  void setToolBarShown(bool shown);
  void setMenuBarShown(bool shown);
  // Hides the window and deletes it once control is back in the event loop.
  void retire();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void buildToolBar();
  void buildMenuBar();
  void followPage();
  void setBusy(bool busy);

  QWebEngineView* const view_;
  QToolBar* toolBar_ = nullptr;
  QLineEdit* address_ = nullptr;
  QAction* fullScreenAction_ = nullptr;
  std::function<void()> busyChanged_;
  bool busy_ = false;
  bool started_ = false;  // since the last navigate()
  unsigned navigations_ = 0;
};

}  // namespace platform
