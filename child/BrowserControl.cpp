#include "child/BrowserControl.h"

#include <memory>
#include <string>
#include <utility>

#include "child/Texts.h"

namespace child {
namespace {

// Calls the wait's `loaded`, if the wait is still there and `loaded` not yet called.
void EndWait(const std::weak_ptr<std::function<void()>>& wait) {
  if (const auto pending = wait.lock()) {
    if (auto loaded = std::exchange(*pending, nullptr)) loaded();
  }
}

}  // namespace

BrowserControl::BrowserControl(platform::BrowserFactory& factory, platform::Scheduler& scheduler,
                               platform::Desktop& desktop)
    : factory_(factory), scheduler_(scheduler), desktop_(desktop) {}

void BrowserControl::CreateConfigured() {
  auto creation = factory_.create();
  browser_ = std::move(creation.browser);
  if (!creation.component.empty() || !creation.reason.empty()) ReportUnavailable(creation);
  if (browser_) browser_->setFullScreen(fullScreen_);
  if (browser_) browser_->setToolBar(false);
  if (browser_) browser_->setMenuBar(false);
}

// The person at this PC can do nothing about it, and the master's next page tries again: one
// message is enough.
void BrowserControl::ReportUnavailable(const platform::BrowserCreation& failure) {
  if (reported_) return;
  reported_ = true;
  desktop_.showMessage(
      std::string(kBrowserUnavailable) + "\n\n" + failure.component + "\n" + failure.reason,
      kMessageTitle);
}

void BrowserControl::Create() {
  state_ = State::Wanted;
}

void BrowserControl::Release() {
  state_ = State::Released;
  if (browser_) browser_->setVisible(false);
  browser_.reset();
}

platform::Browser* BrowserControl::Usable(bool start) {
  if (state_ != State::Wanted) return nullptr;
  if (browser_ && browser_->alive()) return browser_.get();
  browser_.reset();
  if (start) CreateConfigured();
  return browser_.get();
}

void BrowserControl::ShowPage(std::string_view url, std::function<void()> loaded) {
  if (!Usable(true)) return loaded();
  browser_->navigate(url);
  if (browser_) browser_->setVisible(true);
  WaitUntilLoaded(std::move(loaded));
}

// Once, whichever comes first: the browser's word that the page has loaded, the bound, or a
// newer page.
void BrowserControl::WaitUntilLoaded(std::function<void()> loaded) {
  pageWait_ = std::make_shared<std::function<void()>>(std::move(loaded));
  const auto done = [wait = std::weak_ptr(pageWait_)] { EndWait(wait); };
  if (browser_ && browser_->whenLoaded(done)) return scheduler_.runLater(kPageWaitLimit, done);
  PollUntilLoaded(pageWait_, scheduler_.now() + kPageWaitLimit);
}

void BrowserControl::PollUntilLoaded(std::weak_ptr<std::function<void()>> wait,
                                     platform::Scheduler::Clock::time_point limit) {
  const auto pending = wait.lock();
  if (!pending || !*pending) return;
  if (scheduler_.now() >= limit || !browser_ || !browser_->busy()) return EndWait(wait);
  scheduler_.runLater(kPollInterval, [this, wait = std::move(wait), limit]() mutable {
    PollUntilLoaded(std::move(wait), limit);
  });
}

void BrowserControl::EndPageWait() {
  EndWait(std::exchange(pageWait_, nullptr));
}

void BrowserControl::SetFullScreen(bool on) {
  fullScreen_ = on;
  if (auto* browser = Usable(false)) browser->setFullScreen(on);
}

void BrowserControl::SetVisible(bool visible) {
  if (auto* browser = Usable(visible)) browser->setVisible(visible);
}

// A browser created again has its menu bar off already: no need to bring one back for this.
void BrowserControl::HideMenuBar() {
  if (browser_) browser_->setMenuBar(false);
}

}  // namespace child
