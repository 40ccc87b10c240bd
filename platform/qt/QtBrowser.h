#pragma once

#include <QPointer>

#include "platform/Browser.h"

namespace platform {

class QtBrowserWindow;

// A Qt WebEngine browser in a window of its own, which goes away with this object.
class QtBrowser final : public Browser {
 public:
  QtBrowser();
  ~QtBrowser() override;
  QtBrowser(const QtBrowser&) = delete;
  QtBrowser& operator=(const QtBrowser&) = delete;

  bool alive() override;
  void navigate(std::string_view text) override;
  void setVisible(bool visible) override;
  bool busy() override;
  void setFullScreen(bool on) override;
  void setToolBar(bool on) override;
  void setMenuBar(bool on) override;

 private:
  // Null once the window has deleted itself after the user closed it.
  QPointer<QtBrowserWindow> window_;
};

struct QtBrowsers;

// Qt WebEngine's browsers, for the platform of a program that has them.
QtBrowsers QtWebEngineBrowsers();

class QtBrowserFactory final : public BrowserFactory {
 public:
  // What Qt WebEngine must be told before the QApplication exists.
  static void prepareProcess();

  BrowserCreation create() override;
};

}  // namespace platform
