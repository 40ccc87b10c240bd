// A scripted platform for the unit tests: it records every call the behaviour makes, in order,
// and lets a test act as the user (press a button, close a window, answer a message box).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Desktop.h"
#include "platform/InstanceGuard.h"

namespace fake {

class FakeDesktop;

struct WindowState {
  platform::FormSpec spec;
  bool loaded = true;
  bool visible = false;
  bool closeDisabled = false;
  std::map<std::string, std::string> captions;
};

class FakeWindow : public platform::Window {
 public:
  FakeWindow(FakeDesktop& desktop, std::shared_ptr<WindowState> state);
  ~FakeWindow() override;
  void setVisible(bool visible) override;
  bool isVisible() const override { return state_->visible; }
  void setCaption(std::string_view control, std::string_view text) override;
  void disableCloseCommand() override;

 private:
  FakeDesktop& desktop_;
  std::shared_ptr<WindowState> state_;
};

class FakeDesktop : public platform::Desktop {
 public:
  std::unique_ptr<platform::Window> createWindow(const platform::FormSpec& spec) override;
  void showMessage(std::string_view text, std::string_view title) override;
  void endProgram() override;

  // The last window created under that name; it stays inspectable after it is unloaded.
  WindowState& window(const std::string& name);
  // The user presses a button; returns once its handler has returned.
  void click(const std::string& form, const std::string& control);
  // The system closes a window.
  void close(const std::string& form);
  std::size_t loadedWindows() const;

  std::vector<std::string> log;  // "create Form1", "show Form1", "message <title>: <text>", ...
  std::vector<std::pair<std::string, std::string>> messages;  // (title, text)
  bool ended = false;

 private:
  std::map<std::string, std::shared_ptr<WindowState>> windows_;
};

class FakeInstanceGuard : public platform::InstanceGuard {
 public:
  bool anotherInstanceRunning() override { return otherInstance; }
  bool otherInstance = false;
};

// The behaviour's own text encoding, so tests can write file bytes as they mean them.
class Utf8CodePage : public platform::CodePage {
 public:
  std::string toUtf8(std::string_view ansi) const override { return std::string(ansi); }
  std::string fromUtf8(std::string_view utf8) const override { return std::string(utf8); }
};

}  // namespace fake
