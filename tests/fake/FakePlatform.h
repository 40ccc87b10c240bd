// A scripted platform for the unit tests: it records every call the behaviour makes, in order,
// and lets a test act as the user (press a button, close a window, answer a message box), the
// network (a datagram arrives) and the clock (the event loop runs its timers).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fake {

using Log = std::vector<std::string>;

struct WindowState {
  platform::FormSpec declaration;
  bool loaded = true;
  bool visible = false;
  bool closeDisabled = false;
  std::map<std::string, std::string> captions;
};

class FakeDesktop : public platform::Desktop {
 public:
  explicit FakeDesktop(Log& log) : log(log) {}
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

  Log& log;  // "create Form1", "show Form1", "message <title>", ...
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

// Tasks run only when the test says so, in the order of their time, and the clock then stands
// at that time; a timer fires `lag` after it is due, as a coarse system timer does.
class FakeScheduler : public platform::Scheduler {
 public:
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;
  Clock::time_point now() const override { return now_; }
  // Runs the tasks due, including those they schedule, up to `limit`; returns how many ran.
  int runPending(int limit = 100000);
  std::chrono::milliseconds sinceStart() const;

  std::chrono::milliseconds lag{0};

 private:
  Clock::time_point now_{};
  std::multimap<Clock::time_point, std::function<void()>> tasks_;
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
  std::function<void()> whileNavigating;  // other events the backend runs inside navigate()
};

class FakeBrowserFactory : public platform::BrowserFactory {
 public:
  explicit FakeBrowserFactory(Log& log) : log_(log) {}
  platform::BrowserCreation create() override;
  BrowserState& browser() { return *last_; }  // the one created last

  int failuresLeft = 0;  // how many more create() calls fail
  int created = 0;
  int busyPollsPerPage = 0;  // given to every browser created

 private:
  Log& log_;
  std::shared_ptr<BrowserState> last_;
};

class FakeEndpoint : public platform::UdpEndpoint {
 public:
  FakeEndpoint(FakeEndpoint*& registered, Log& log, platform::BindResult bindResult);
  ~FakeEndpoint() override;
  platform::BindResult bind(std::uint16_t port) override;
  void setRemoteHost(std::string_view host) override;
  void setRemotePort(std::uint16_t port) override;
  bool send(std::string_view bytes) override;
  platform::Arrival read() override;
  void setPaused(bool paused) override;

  // A datagram (or a failed read) arrives; its event is raised unless the endpoint is paused.
  void arrive(platform::Arrival arrival);
  void arrive(std::string datagram) {
    arrive({platform::ReadResult::Datagram, std::move(datagram)});
  }

  std::function<void()> onArrival;
  std::vector<std::string> sent;

 private:
  void raisePending();
  FakeEndpoint*& registered_;
  Log& log_;
  const platform::BindResult bindResult_;
  std::vector<platform::Arrival> queue_;
  bool paused_ = false;
  bool raising_ = false;
};

class FakeNetwork : public platform::Network {
 public:
  explicit FakeNetwork(Log& log) : log_(log) {}
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override;
  FakeEndpoint* endpoint = nullptr;  // the one created last, while it lives
  platform::BindResult bindResult = platform::BindResult::Bound;  // for endpoints created next

 private:
  Log& log_;
};

// Every port, each logging into one log, so a test sees the order of all the steps.
class FakePlatform : public platform::Platform {
 public:
  FakeDesktop& desktop() override { return desktop_; }
  FakeInstanceGuard& instanceGuard() override { return instance_; }
  const Utf8CodePage& codePage() const override { return codePage_; }
  FakeNetwork& network() override { return network_; }
  FakeBrowserFactory& browsers() override { return browsers_; }
  FakeScheduler& scheduler() override { return scheduler_; }

  Log log;

 private:
  FakeDesktop desktop_{log};
  FakeInstanceGuard instance_;
  Utf8CodePage codePage_;
  FakeNetwork network_{log};
  FakeBrowserFactory browsers_{log};
  FakeScheduler scheduler_;
};

}  // namespace fake
