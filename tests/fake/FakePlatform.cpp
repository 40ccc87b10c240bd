#include "fake/FakePlatform.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fake {
namespace {

std::string OnOff(bool on) {
  return on ? "true" : "false";
}

class FakeWindow : public platform::Window {
 public:
  FakeWindow(Log& log, std::shared_ptr<WindowState> state) : log_(log), state_(std::move(state)) {}
  const std::string& name() const { return state_->declaration.name; }
  ~FakeWindow() override {
    state_->loaded = state_->visible = false;
    log_.push_back("unload " + name());
  }
  void setVisible(bool visible) override {
    state_->visible = visible;
    log_.push_back((visible ? "show " : "hide ") + name());
  }
  bool isVisible() const override { return state_->visible; }
  void setCaption(std::string_view control, std::string_view text) override {
    state_->captions[std::string(control)] = std::string(text);
    log_.push_back("caption " + name() + "." + std::string(control) + " " + std::string(text));
  }
  void disableCloseCommand() override { log_.push_back("disable close " + name()); }
  std::string text(std::string_view control) const override {
    return state_->captions.at(std::string(control));
  }
  void addItem(std::string_view control, std::string_view text) override {
    state_->items[std::string(control)].emplace_back(text);
  }
  int listIndex(std::string_view control) const override {
    const auto found = state_->listIndexes.find(std::string(control));
    return found == state_->listIndexes.end() ? -1 : found->second;
  }
  void setListIndex(std::string_view control, int index) override {
    state_->listIndexes[std::string(control)] = index;
  }
  void setMenuVisible(std::string_view menu, bool visible) override {
    state_->menusVisible[std::string(menu)] = visible;
    log_.push_back((visible ? "show " : "hide ") + name() + "." + std::string(menu));
  }
  void popUpMenu(std::string_view menu) override {
    log_.push_back("pop up " + name() + "." + std::string(menu));
  }
  void bringToForeground() override { log_.push_back("foreground " + name()); }
  void dragWithMouse() override { log_.push_back("drag " + name()); }
  void move(int left, int top) override {
    log_.push_back("move " + name() + " " + std::to_string(left) + " " + std::to_string(top));
  }
  long setTopmost(bool topmost) override {
    log_.push_back("topmost " + name() + " " + OnOff(topmost));
    return 1;
  }

 private:
  Log& log_;
  std::shared_ptr<WindowState> state_;
};

class FakeBrowser : public platform::Browser {
 public:
  FakeBrowser(Log& log, std::shared_ptr<BrowserState> state)
      : log_(log), state_(std::move(state)) {}
  ~FakeBrowser() override { log_.push_back("browser released"); }
  bool alive() override { return state_->alive; }
  void navigate(std::string_view url) override {
    state_->busyPolls = state_->pagePolls;
    log_.push_back("browser navigate " + std::string(url));
    // Last: what runs meanwhile may release this browser.
    if (state_->whileNavigating) std::exchange(state_->whileNavigating, nullptr)();
  }
  void setVisible(bool visible) override { set(state_->visible, "visible", visible); }
  bool busy() override {
    if (!state_->alive || state_->busyPolls == 0) return false;
    --state_->busyPolls;
    return true;
  }
  void setFullScreen(bool on) override { set(state_->fullScreen, "fullscreen", on); }
  void setToolBar(bool on) override { log_.push_back("browser toolbar " + OnOff(on)); }
  void setMenuBar(bool on) override { log_.push_back("browser menubar " + OnOff(on)); }

 private:
  void set(bool& property, const std::string& name, bool value) {
    property = value;
    log_.push_back("browser " + name + " " + OnOff(value));
  }

  Log& log_;
  std::shared_ptr<BrowserState> state_;
};

}  // namespace

void FakePlatform::click(const std::string& form, const std::string& control) {
  WindowState& state = window(form);
  if (!state.loaded) throw std::runtime_error(form + " is not loaded");
  for (const auto& button : state.declaration.controls) {
    // A copy, since the handler may unload the window that holds it.
    if (button.name == control && button.onClick) return std::function<void()>(button.onClick)();
  }
  throw std::runtime_error("no clickable " + form + "." + control);
}

void FakePlatform::choose(const std::string& form, const std::string& item) {
  std::function<void()> handler;
  const std::function<void(const std::vector<platform::MenuSpec>&)> find = [&](const auto& menus) {
    for (const auto& menu : menus) {
      if (menu.name == item) handler = menu.onClick;
      find(menu.items);
    }
  };
  find(window(form).declaration.menus);
  if (!handler) throw std::runtime_error("no menu item " + form + "." + item);
  handler();
}

int FakePlatform::runPending(int limit) {
  int ran = 0;
  for (; !timers_.empty() && ran < limit; ++ran) {
    auto next = timers_.extract(timers_.begin());
    now_ = next.key();
    next.mapped()();
  }
  return ran;
}

void FakePlatform::advance(std::chrono::milliseconds time) {
  const auto until = now_ + time;
  while (!timers_.empty() && timers_.begin()->first <= until) runPending(1);
  now_ = until;
}

std::unique_ptr<platform::Window> FakePlatform::createWindow(
    const platform::FormSpec& declaration) {
  auto state = std::make_shared<WindowState>();
  state->declaration = declaration;
  for (const auto& control : declaration.controls) state->captions[control.name] = control.caption;
  windows_[declaration.name] = state;
  log.push_back("create " + declaration.name);
  return std::make_unique<FakeWindow>(log, state);
}

platform::BrowserCreation FakePlatform::create() {
  if (browserFailuresLeft > 0) {
    --browserFailuresLeft;
    log.push_back("browser create failed");
    return {nullptr, "FakeBrowser.exe", "not installed"};
  }
  if (std::exchange(browserGiven_, true)) browser_ = std::make_shared<BrowserState>();
  log.push_back("browser created");
  return {std::make_unique<FakeBrowser>(log, browser_), {}, {}};
}

void FakePlatform::add(platform::Window& window, const platform::TrayRecord& record) {
  log.push_back("tray add " + static_cast<FakeWindow&>(window).name() + " " +
                std::to_string(record.id) + " " + std::to_string(record.flags) + " " +
                std::to_string(record.callbackMessage) + " " + record.tip);
}

std::optional<platform::RegistryValue> FakePlatform::read(platform::RegistryRoot,
                                                          std::string_view key,
                                                          std::string_view value,
                                                          std::size_t capacity) {
  const auto found = registryValues.find({std::string(key), std::string(value)});
  if (found == registryValues.end() || found->second.data.size() > capacity) return std::nullopt;
  return found->second;
}

platform::FileBytes FakePlatform::read(const std::string& path) {
  using enum platform::OpenResult;
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return {NotFound, {}};
  std::ifstream file(path, std::ios::binary);
  if (error || !file || std::filesystem::is_directory(status)) return {CannotOpen, {}};
  return {Opened, {std::istreambuf_iterator<char>(file), {}}};
}

std::optional<platform::FileWriteFailure> FakePlatform::replace(const std::string& target,
                                                                const std::string& temporary,
                                                                std::string_view bytes) {
  log.push_back("replace " + std::filesystem::path(target).filename().string());
  if (fileWriteFailure) return std::exchange(fileWriteFailure, std::nullopt);
  std::ofstream(temporary, std::ios::binary) << bytes;
  std::filesystem::rename(temporary, target);
  return std::nullopt;
}

}  // namespace fake
