#pragma once

#include <QProcess>
#include <memory>

#include "platform/Browser.h"

namespace platform {

// The agent's side of a browser program (BrowserMain.cpp), which goes away with this object.
class QtBrowser final : public Browser {
 public:
  explicit QtBrowser(std::unique_ptr<QProcess> program);
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
  void tell(const QByteArray& line);
  void hear();

  std::unique_ptr<QProcess> program_;
  unsigned navigations_ = 0;  // told
  unsigned taken_ = 0;        // of those, the program has taken
  bool loading_ = false;      // as the program last said
};

// Each browser a program of its own, started beside the agent's.
class QtBrowserFactory final : public BrowserFactory {
 public:
  BrowserCreation create() override;
};

}  // namespace platform
