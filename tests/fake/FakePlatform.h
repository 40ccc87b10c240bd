// A scripted platform for the unit tests: one object plays every port, records every call the
// behaviour makes into one log, in order, and lets a test act as the user (press a button,
// close a window, answer a message box), the network (a datagram arrives) and the event loop
// (its timers run, and the clock with them).
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
  bool topmost = false;
  std::map<std::string, std::string> captions;  // "": the window's title; a text box's text
  std::map<std::string, bool> menusVisible;
  std::map<std::string, std::vector<std::string>> items;  // a drop-down list's entries
  std::map<std::string, int> listIndexes;
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

class FakeEndpoint : public platform::UdpEndpoint {
 public:
  FakeEndpoint(FakeEndpoint*& registered, Log& log, platform::BindResult bindResult,
               std::function<void()> onArrival);
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

  std::vector<std::string> sent;

 private:
  void raisePending();

  std::string remoteHost_;
  FakeEndpoint*& registered_;
  Log& log_;
  const platform::BindResult bindResult_;
  const std::function<void()> onArrival_;
  std::vector<platform::Arrival> queue_;
  bool paused_ = false;
  bool raising_ = false;
};

class FakePlatform : public platform::Platform,
                     platform::Desktop,
                     platform::InstanceGuard,
                     platform::CodePage,
                     platform::Network,
                     platform::BrowserFactory,
                     platform::Scheduler,
                     platform::Tray,
                     platform::Registry,
                     platform::Programs,
                     platform::Files {
 public:
  platform::Desktop& desktop() override { return *this; }
  platform::InstanceGuard& instanceGuard() override { return *this; }
  // UTF-8, the behaviour's own encoding, so tests write file bytes as they mean them.
  const platform::CodePage& codePage() const override { return *this; }
  platform::Network& network() override { return *this; }
  platform::BrowserFactory& browsers() override { return *this; }
  platform::Scheduler& scheduler() override { return *this; }
  platform::Tray& tray() override { return *this; }
  platform::Registry& registry() override { return *this; }
  platform::Programs& programs() override { return *this; }
  platform::Files& files() override { return *this; }

  // The last window created under that name; it stays inspectable after it is unloaded.
  WindowState& window(const std::string& name);
  // The user presses a button; returns once its handler has returned.
  void click(const std::string& form, const std::string& control);
  // The system closes a window.
  void close(const std::string& form);
  // The user types into a text box, or picks a drop-down list's entry.
  void type(const std::string& form, const std::string& box, const std::string& text);
  void pick(const std::string& form, const std::string& list, int index);
  // The user chooses a menu's item, or moves or presses the mouse on a window's body.
  void choose(const std::string& form, const std::string& item);
  void mouseMove(const std::string& form, double xTwips);
  void mouseDown(const std::string& form, int button);
  std::size_t loadedWindows() const;
  std::vector<std::string> messageTexts() const;  // "<title>: <text>"

  BrowserState& browser() { return *browser_; }  // the one created last

  // Runs the timers that are due, in the order of their time, including those they start, up to
  // `limit`; the clock then stands at each one's time. Returns how many ran.
  int runPending(int limit = 100000);
  std::chrono::milliseconds sinceStart() const;

  Log log;  // "create Form1", "show Form1", "message <title>", "browser navigate <url>", ...
  std::vector<std::pair<std::string, std::string>> messages;  // (title, text)
  std::function<void()> whileMessageOpen;  // runs while a box is open, which then gets OK
  bool otherInstance = false;
  int browserFailuresLeft = 0;  // how many more browsers cannot be created
  int browsersCreated = 0;
  int busyPollsPerPage = 0;                                       // for every browser created
  platform::BindResult bindResult = platform::BindResult::Bound;  // for endpoints created next
  FakeEndpoint* endpoint = nullptr;       // the one created last, while it lives
  std::chrono::milliseconds timerLag{0};  // a timer fires this late, as coarse system timers do
  double twipsPerPixel = 15;
  std::map<std::pair<std::string, std::string>, platform::RegistryValue> registryValues;
  std::vector<std::string> ordinaryFiles;
  std::vector<std::string> startablePrograms;
  std::filesystem::path programFolder = "/opt/velostrander";
  // The step at which the next replace() fails; none: it writes the file, as the system does.
  std::optional<platform::FileWriteFailure> fileWriteFailure;

 private:
  std::unique_ptr<platform::Window> createWindow(const platform::FormSpec& declaration) override;
  void showMessage(std::string_view text, std::string_view title) override;
  void endProgram() override { log.push_back("end program"); }
  void processPendingEvents() override { log.push_back("process pending events"); }
  double twipsPerPixelX() const override { return twipsPerPixel; }
  bool anotherInstanceRunning() override { return otherInstance; }
  std::string toUtf8(std::string_view ansi) const override { return std::string(ansi); }
  std::string fromUtf8(std::string_view utf8) const override { return std::string(utf8); }
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override;
  platform::BrowserCreation create() override;
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;
  Clock::time_point now() const override { return now_; }
  void add(platform::Window& window, const platform::TrayRecord& record) override;
  void remove(const platform::TrayRecord& record) override;
  std::optional<platform::RegistryValue> read(platform::RegistryRoot root, std::string_view key,
                                              std::string_view value,
                                              std::size_t capacity) override;
  bool isOrdinaryFile(std::string_view path) override;
  bool start(std::string_view path) override;
  std::filesystem::path ownFolder() override { return programFolder; }
  std::optional<platform::FileWriteFailure> replace(const std::filesystem::path& target,
                                                    const std::filesystem::path& temporary,
                                                    std::string_view bytes) override;

  std::map<std::string, std::shared_ptr<WindowState>> windows_;
  std::shared_ptr<BrowserState> browser_;
  Clock::time_point now_{};
  std::multimap<Clock::time_point, std::function<void()>> timers_;
};

}  // namespace fake
