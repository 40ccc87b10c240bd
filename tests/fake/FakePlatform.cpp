#include "fake/FakePlatform.h"

#include <stdexcept>
#include <utility>

namespace fake {

FakeWindow::FakeWindow(FakeDesktop& desktop, std::shared_ptr<WindowState> state)
    : desktop_(desktop), state_(std::move(state)) {}

FakeWindow::~FakeWindow() {
  state_->loaded = false;
  state_->visible = false;
  desktop_.log.push_back("unload " + state_->declaration.name);
}

void FakeWindow::setVisible(bool visible) {
  state_->visible = visible;
  desktop_.log.push_back((visible ? "show " : "hide ") + state_->declaration.name);
}

void FakeWindow::setCaption(std::string_view control, std::string_view text) {
  state_->captions[std::string(control)] = std::string(text);
  desktop_.log.push_back("caption " + state_->declaration.name + "." + std::string(control) + " " +
                         std::string(text));
}

void FakeWindow::disableCloseCommand() {
  state_->closeDisabled = true;
  desktop_.log.push_back("disable close " + state_->declaration.name);
}

std::unique_ptr<platform::Window> FakeDesktop::createWindow(const platform::FormSpec& declaration) {
  auto state = std::make_shared<WindowState>();
  state->declaration = declaration;
  for (const auto& control : declaration.controls) state->captions[control.name] = control.caption;
  windows_[declaration.name] = state;
  log.push_back("create " + declaration.name);
  return std::make_unique<FakeWindow>(*this, state);
}

void FakeDesktop::showMessage(std::string_view text, std::string_view title) {
  messages.emplace_back(title, text);
  log.push_back("message " + std::string(title));
  if (whileMessageOpen) std::exchange(whileMessageOpen, nullptr)();
}

void FakeDesktop::endProgram() {
  ended = true;
  log.push_back("end program");
}

WindowState& FakeDesktop::window(const std::string& name) {
  const auto found = windows_.find(name);
  if (found == windows_.end()) throw std::runtime_error("no window " + name);
  return *found->second;
}

void FakeDesktop::click(const std::string& form, const std::string& control) {
  WindowState& state = window(form);
  if (!state.loaded) throw std::runtime_error(form + " is not loaded");
  for (const auto& button : state.declaration.controls) {
    // A copy, since the handler may unload the window that holds it.
    if (button.name == control && button.onClick) return std::function<void()>(button.onClick)();
  }
  throw std::runtime_error("no clickable " + form + "." + control);
}

void FakeDesktop::close(const std::string& form) {
  WindowState& state = window(form);
  if (!state.loaded) throw std::runtime_error(form + " is not loaded");
  std::function<void()>(state.declaration.onClose)();
}

std::size_t FakeDesktop::loadedWindows() const {
  std::size_t count = 0;
  for (const auto& [name, state] : windows_) count += state->loaded ? 1 : 0;
  return count;
}

void FakeScheduler::runLater(std::chrono::milliseconds, std::function<void()> task) {
  tasks_.push_back(std::move(task));
}

int FakeScheduler::runPending(int limit) {
  int ran = 0;
  while (!tasks_.empty() && ran < limit) {
    auto task = std::move(tasks_.front());
    tasks_.erase(tasks_.begin());
    task();
    ++ran;
  }
  return ran;
}

void FakeBrowser::navigate(std::string_view url) {
  state_->navigated.emplace_back(url);
  state_->busyPolls = state_->pagePolls;
  log_.push_back("browser navigate " + std::string(url));
}

void FakeBrowser::setVisible(bool visible) {
  state_->visible = visible;
  log_.push_back(std::string("browser visible ") + (visible ? "true" : "false"));
}

bool FakeBrowser::busy() {
  if (state_->busyPolls == 0) return false;
  --state_->busyPolls;
  return true;
}

void FakeBrowser::setFullScreen(bool on) {
  state_->fullScreen = on;
  log_.push_back(std::string("browser fullscreen ") + (on ? "true" : "false"));
}

void FakeBrowser::setToolBar(bool on) {
  state_->toolBar = on;
  log_.push_back(std::string("browser toolbar ") + (on ? "true" : "false"));
}

void FakeBrowser::setMenuBar(bool on) {
  state_->menuBar = on;
  log_.push_back(std::string("browser menubar ") + (on ? "true" : "false"));
}

platform::BrowserCreation FakeBrowserFactory::create() {
  if (failuresLeft > 0) {
    --failuresLeft;
    log_.push_back("browser create failed");
    return {nullptr, "no browser installed"};
  }
  ++created;
  last_ = std::make_shared<BrowserState>();
  last_->pagePolls = busyPollsPerPage;
  log_.push_back("browser created");
  return {std::make_unique<FakeBrowser>(log_, last_), {}};
}

platform::BindResult FakeEndpoint::bind(std::uint16_t port) {
  if (bindResult == platform::BindResult::Bound) boundPort = port;
  return bindResult;
}

bool FakeEndpoint::send(std::string_view bytes) {
  sent.emplace_back(bytes);
  return boundPort >= 0;
}

platform::Arrival FakeEndpoint::read() {
  if (queue_.empty()) return {{}, -1};
  auto arrival = std::move(queue_.front());
  queue_.erase(queue_.begin());
  return arrival;
}

void FakeEndpoint::setPaused(bool pause) {
  paused = pause;
  raisePending();
}

void FakeEndpoint::arrive(platform::Arrival arrival) {
  queue_.push_back(std::move(arrival));
  raisePending();
}

// One event per waiting datagram, never nested, as an event loop raises them.
void FakeEndpoint::raisePending() {
  if (raising_) return;
  raising_ = true;
  while (!paused && !queue_.empty()) onArrival();
  raising_ = false;
}

std::unique_ptr<platform::UdpEndpoint> FakeNetwork::createUdpEndpoint(
    std::function<void()> onArrival) {
  auto created = std::make_unique<FakeEndpoint>(endpoint);
  created->onArrival = std::move(onArrival);
  created->bindResult = bindResult;
  return created;
}

}  // namespace fake
