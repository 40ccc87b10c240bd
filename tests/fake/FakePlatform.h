// A scripted platform for the unit tests: it records every call the behaviour makes, in order,
// and lets a test act as the user (press a button, close a window, answer a message box).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Browser.h"
#include "platform/CodePage.h"
#include "platform/Desktop.h"
#include "platform/InstanceGuard.h"
#include "platform/Scheduler.h"
#include "platform/UdpEndpoint.h"

namespace fake {

class FakeDesktop;

struct WindowState {
  platform::FormSpec declaration;
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
  std::unique_ptr<platform::Window> createWindow(const platform::FormSpec& declaration) override;
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
  // What happens while a message box is open (the box is then closed with OK).
  std::function<void()> whileMessageOpen;

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

// Tasks run only when the test says so, as the event loop would run them.
class FakeScheduler : public platform::Scheduler {
 public:
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;
  // Runs the tasks due now, including those they schedule, up to `limit`; returns how many ran.
  int runPending(int limit = 100000);
  std::size_t pending() const { return tasks_.size(); }

 private:
  std::vector<std::function<void()>> tasks_;
};

struct BrowserState {
  bool alive = true;
  bool visible = false;
  bool fullScreen = true;  // so a test sees start-up switch it off
  bool toolBar = true;
  bool menuBar = true;
  int pagePolls = 0;  // how many reads of busy() answer true after each navigate()
  int busyPolls = 0;  // how many more of them are left
  std::vector<std::string> navigated;
};

class FakeBrowser : public platform::Browser {
 public:
  FakeBrowser(std::vector<std::string>& log, std::shared_ptr<BrowserState> state)
      : log_(log), state_(std::move(state)) {}
  ~FakeBrowser() override { log_.push_back("browser released"); }
  bool alive() override { return state_->alive; }
  void navigate(std::string_view url) override;
  void setVisible(bool visible) override;
  bool busy() override;
  void setFullScreen(bool on) override;
  void setToolBar(bool on) override;
  void setMenuBar(bool on) override;

 private:
  std::vector<std::string>& log_;
  std::shared_ptr<BrowserState> state_;
};

class FakeBrowserFactory : public platform::BrowserFactory {
 public:
  explicit FakeBrowserFactory(std::vector<std::string>& log) : log_(log) {}
  platform::BrowserCreation create() override;
  // The browser created last.
  BrowserState& browser() { return *last_; }

  int failuresLeft = 0;  // how many more create() calls fail
  int created = 0;
  int busyPollsPerPage = 0;  // given to every browser created

 private:
  std::vector<std::string>& log_;
  std::shared_ptr<BrowserState> last_;
};

class FakeEndpoint : public platform::UdpEndpoint {
 public:
  explicit FakeEndpoint(FakeEndpoint*& registered) : registered_(registered) { registered = this; }
  ~FakeEndpoint() override {
    if (registered_ == this) registered_ = nullptr;
  }
  platform::BindResult bind(std::uint16_t port) override;
  void setRemoteHost(std::string_view host) override { remoteHost = host; }
  void setRemotePort(std::uint16_t port) override { remotePort = port; }
  bool send(std::string_view bytes) override;
  platform::Arrival read() override;
  void setPaused(bool paused) override;

  // A datagram (or a read error) arrives; its event is raised unless the endpoint is paused.
  void arrive(platform::Arrival arrival);

  std::function<void()> onArrival;
  platform::BindResult bindResult = platform::BindResult::Bound;
  int boundPort = -1;
  std::string remoteHost;
  int remotePort = -1;
  std::vector<std::string> sent;
  bool paused = false;

 private:
  void raisePending();
  FakeEndpoint*& registered_;
  std::vector<platform::Arrival> queue_;
  bool raising_ = false;
};

class FakeNetwork : public platform::Network {
 public:
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override;
  FakeEndpoint* endpoint = nullptr;  // the one created last, while it lives
  platform::BindResult bindResult = platform::BindResult::Bound;  // for endpoints created next
};

}  // namespace fake
