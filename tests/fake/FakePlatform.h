// A scripted platform for the unit tests: one object plays every port, records every call the
// behaviour makes into one log, in order, and lets a test act as the user (press a button,
// close a window, answer a message box), the network (a datagram arrives) and the event loop
// (its timers run, and the clock with them).
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/Text.h"
#include "platform/Platform.h"

namespace fake {

using Log = std::vector<std::string>;

// Latin-1, a code page of one byte a character, in which bytes read otherwise than as UTF-8 and
// which lacks Japanese.
class Latin1CodePage : public platform::CodePage {
 public:
  std::string toUtf8(std::string_view bytes) const override {
    std::u32string chars;
    for (const unsigned char c : bytes) chars.push_back(c);
    return common::ToUtf8(chars);
  }
  std::string fromUtf8(std::string_view utf8) const override {
    std::string bytes;
    for (const char32_t c : common::ToChars(utf8)) bytes.push_back(c < 0x100 ? char(c) : '?');
    return bytes;
  }
};

struct WindowState {
  platform::FormSpec declaration;
  bool loaded = true;
  bool visible = false;
  std::map<std::string, std::string> captions;  // "": the window's title; a text box's text
  std::map<std::string, bool> menusVisible;
  std::map<std::string, std::vector<std::string>> items;  // a drop-down list's entries
  std::map<std::string, int> listIndexes;
};

struct BrowserState {
  bool alive = true;
  bool visible = false;
  bool fullScreen = true;  // so a test sees start-up switch it off
  int pagePolls = 0;       // how many reads of busy() answer true after each navigate()
  int busyPolls = 0;       // how many more of them are left
  std::function<void()> whileNavigating;  // other events the backend runs inside navigate()
};

class FakeEndpoint : public platform::UdpEndpoint {
 public:
  FakeEndpoint(FakeEndpoint*& registered, Log& log, platform::BindResult bindResult,
               std::function<void()> onArrival)
      : registered_(registered), log_(log), bindResult_(bindResult), onArrival_(onArrival) {
    registered = this;
  }
  ~FakeEndpoint() override {
    registered_ = registered_ == this ? nullptr : registered_;
    *gone_ = true;
  }
  platform::BindResult bind(std::uint16_t port) override {
    log_.push_back("bind " + std::to_string(port));
    return bindResult_;
  }
  void setRemoteHost(std::string_view host) override {
    log_.push_back("remote host " + std::string(host));
  }
  void setRemotePort(std::uint16_t port) override {
    log_.push_back("remote port " + std::to_string(port));
  }
  platform::Sending send(std::string_view bytes) override {
    if (sendResult == platform::SendResult::Sent) log_.push_back("send " + std::string(bytes));
    return {sendResult, kMaster};
  }
  platform::Arrival read() override {
    if (queue_.empty()) return {platform::ReadResult::Failed, {}};
    auto arrival = std::move(queue_.front());
    queue_.pop_front();
    return arrival;
  }
  // A datagram (or a failed read) arrives; its event is raised unless one is being handled.
  void arrive(platform::Arrival arrival) {
    queue_.push_back(std::move(arrival));
    raisePending();
  }
  void arrive(std::string datagram, platform::Peer from = kMaster) {
    arrive({platform::ReadResult::Datagram, std::move(datagram), from});
  }

  // Where the remote host resolves to, and its port: the master's, 10.0.0.1:5000.
  static constexpr platform::Peer kMaster{0x0A000001, 5000};
  platform::SendResult sendResult = platform::SendResult::Sent;  // of every send from now on

 private:
  // One event per waiting datagram, never nested, as an event loop raises them; the handler
  // may destroy the endpoint, as the real ones allow.
  void raisePending() {
    if (std::exchange(raising_, true)) return;
    const auto gone = gone_;
    while (!*gone && !queue_.empty()) std::function<void()>{onArrival_}();
    if (!*gone) raising_ = false;
  }

  FakeEndpoint*& registered_;
  Log& log_;
  const platform::BindResult bindResult_;
  const std::function<void()> onArrival_;
  std::deque<platform::Arrival> queue_;
  bool raising_ = false;
  std::shared_ptr<bool> gone_ = std::make_shared<bool>(false);
};

class FakePlatform : public platform::Platform,
                     platform::Desktop,
                     platform::InstanceGuard,
                     platform::CodePage,
                     platform::Network,
                     platform::Resolver,
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
  platform::Resolver& resolver() override { return *this; }
  platform::BrowserFactory& browsers() override { return *this; }
  platform::Scheduler& scheduler() override { return *this; }
  platform::Tray& tray() override { return *this; }
  platform::Registry& registry() override { return *this; }
  platform::Programs& programs() override { return *this; }
  platform::Files& files() override { return *this; }

  // The last window created under that name; it stays inspectable after it is unloaded.
  WindowState& window(const std::string& name) {
    if (!windows_.contains(name)) throw std::runtime_error("no window " + name);
    return *windows_.at(name);
  }
  // The user presses a button, or picks a drop-down list's entry; returns once its handler has
  // returned.
  void click(const std::string& form, const std::string& control);
  // The system closes a window.
  void close(const std::string& form) {
    if (!window(form).loaded) throw std::runtime_error(form + " is not loaded");
    std::function<void()>(window(form).declaration.onClose)();
  }
  // The user chooses a menu's item.
  void choose(const std::string& form, const std::string& item);
  int logged(const std::string& entry) const { return std::ranges::count(log, entry); }
  std::size_t loadedWindows() const {
    return std::ranges::count_if(windows_, [](const auto& named) { return named.second->loaded; });
  }

  // The name server answers every lookup still waiting.
  void answerLookUps(const std::vector<std::uint32_t>& addresses) {
    for (Done& done : std::exchange(lookUps_, {})) done(addresses);
  }

  // The one created last; before the first, the one the first will have.
  BrowserState& browser() { return *browser_; }

  // Runs the timers that are due, in the order of their time, including those they start, up to
  // `limit`; the clock then stands at each one's time. Returns how many ran.
  int runPending(int limit = 100000);
  // Moves the clock on by `time`, running the timers due meanwhile, in order.
  void advance(std::chrono::milliseconds time);
  std::chrono::milliseconds sinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - Clock::time_point{});
  }

  Log log;  // "create Form1", "show Form1", "message <title>", "browser navigate <url>", ...
  std::vector<std::string> messages;       // "<title>: <text>"
  std::function<void()> whileMessageOpen;  // runs while a box is open, which then gets OK
  bool otherInstance = false;
  int browserFailuresLeft = 0;  // how many more browsers cannot be created
  platform::BindResult bindResult = platform::BindResult::Bound;  // for endpoints created next
  FakeEndpoint* endpoint = nullptr;       // the one created last, while it lives
  std::chrono::milliseconds timerLag{0};  // a timer fires this late, as coarse system timers do
  double twipsPerPixel = 15;
  platform::Geometry screenWorkArea{1200, 600, 18000, 13800};  // task bars left and at the top
  std::map<std::pair<std::string, std::string>, platform::RegistryValue> registryValues;
  std::vector<std::string> ordinaryFiles;
  std::vector<std::string> startablePrograms;
  std::string programFolder = "/opt/velostrander";
  // The step at which the next replace() fails; none: it writes the file, as the system does.
  std::optional<platform::FileWriteFailure> fileWriteFailure;

 private:
  std::unique_ptr<platform::Window> createWindow(const platform::FormSpec& declaration) override;
  void showMessage(std::string_view text, std::string_view title) override {
    messages.push_back(std::string(title) + ": " + std::string(text));
    log.push_back("message " + std::string(title));
    if (whileMessageOpen) std::exchange(whileMessageOpen, nullptr)();
  }
  void endProgram() override { log.push_back("end program"); }
  void processPendingEvents() override { log.push_back("process pending events"); }
  double twipsPerPixelX() const override { return twipsPerPixel; }
  platform::Geometry workArea() const override { return screenWorkArea; }
  bool anotherInstanceRunning() override { return otherInstance; }
  std::string toUtf8(std::string_view ansi) const override { return std::string(ansi); }
  std::string fromUtf8(std::string_view utf8) const override { return std::string(utf8); }
  std::unique_ptr<platform::UdpEndpoint> createUdpEndpoint(
      std::function<void()> onArrival) override {
    return std::make_unique<FakeEndpoint>(endpoint, log, bindResult, std::move(onArrival));
  }
  void lookUp(std::string_view host, Done done) override {
    log.push_back("look up " + std::string(host));
    lookUps_.push_back(std::move(done));
  }
  platform::BrowserCreation create() override;
  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override {
    timers_.emplace(now_ + delay + timerLag, std::move(task));
  }
  Clock::time_point now() const override { return now_; }
  void add(platform::Window& window, const platform::TrayRecord& record) override;
  void remove(const platform::TrayRecord& record) override {
    log.push_back("tray remove " + std::to_string(record.id));
  }
  std::optional<platform::RegistryValue> read(platform::RegistryRoot root, std::string_view key,
                                              std::string_view value,
                                              std::size_t capacity) override;
  bool isOrdinaryFile(std::string_view path) override {
    return std::ranges::find(ordinaryFiles, path) != ordinaryFiles.end();
  }
  bool start(std::string_view path) override {
    log.push_back("start " + std::string(path));
    return std::ranges::find(startablePrograms, path) != startablePrograms.end();
  }
  std::string ownFolder() override { return programFolder; }
  platform::FileBytes read(const std::string& path) override;  // the real file
  std::optional<platform::FileWriteFailure> replace(const std::string& target,
                                                    const std::string& temporary,
                                                    std::string_view bytes) override;

  std::map<std::string, std::shared_ptr<WindowState>> windows_;
  std::shared_ptr<BrowserState> browser_ = std::make_shared<BrowserState>();
  bool browserGiven_ = false;
  Clock::time_point now_{};
  std::multimap<Clock::time_point, std::function<void()>> timers_;
  std::vector<Done> lookUps_;
};

}  // namespace fake
