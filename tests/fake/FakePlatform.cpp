#include "fake/FakePlatform.h"

#include <stdexcept>

namespace fake {

FakeWindow::FakeWindow(FakeDesktop& desktop, std::shared_ptr<WindowState> state)
    : desktop_(desktop), state_(std::move(state)) {}

FakeWindow::~FakeWindow() {
  state_->loaded = false;
  state_->visible = false;
  desktop_.log.push_back("unload " + state_->spec.name);
}

void FakeWindow::setVisible(bool visible) {
  state_->visible = visible;
  desktop_.log.push_back((visible ? "show " : "hide ") + state_->spec.name);
}

void FakeWindow::setCaption(std::string_view control, std::string_view text) {
  state_->captions[std::string(control)] = std::string(text);
  desktop_.log.push_back("caption " + state_->spec.name + "." + std::string(control) + " " +
                         std::string(text));
}

void FakeWindow::disableCloseCommand() {
  state_->closeDisabled = true;
  desktop_.log.push_back("disable close " + state_->spec.name);
}

std::unique_ptr<platform::Window> FakeDesktop::createWindow(const platform::FormSpec& spec) {
  auto state = std::make_shared<WindowState>();
  state->spec = spec;
  for (const auto& control : spec.controls) state->captions[control.name] = control.caption;
  windows_[spec.name] = state;
  log.push_back("create " + spec.name);
  return std::make_unique<FakeWindow>(*this, state);
}

void FakeDesktop::showMessage(std::string_view text, std::string_view title) {
  messages.emplace_back(title, text);
  log.push_back("message " + std::string(title));
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
  for (const auto& spec : state.spec.controls) {
    // A copy, since the handler may unload the window that holds it.
    if (spec.name == control && spec.onClick) return std::function<void()>(spec.onClick)();
  }
  throw std::runtime_error("no clickable " + form + "." + control);
}

void FakeDesktop::close(const std::string& form) {
  WindowState& state = window(form);
  if (!state.loaded) throw std::runtime_error(form + " is not loaded");
  std::function<void()>(state.spec.onClose)();
}

std::size_t FakeDesktop::loadedWindows() const {
  std::size_t count = 0;
  for (const auto& [name, state] : windows_) count += state->loaded ? 1 : 0;
  return count;
}

}  // namespace fake
