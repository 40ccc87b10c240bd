#include "child/BrowserControl.h"

#include <string>

#include "child/Texts.h"

namespace child {

BrowserControl::BrowserControl(platform::BrowserFactory& factory, platform::Scheduler& scheduler,
                               platform::Desktop& desktop)
    : factory_(factory), scheduler_(scheduler), desktop_(desktop) {}

void BrowserControl::CreateConfigured() {
  auto creation = factory_.create();
  browser_ = std::move(creation.browser);
  if (!browser_) return ReportUnavailable(creation.error);
  browser_->setFullScreen(false);
  browser_->setToolBar(false);
  browser_->setMenuBar(false);
}

// The person at this PC can do nothing about it, and the master's next page tries again: one
// message is enough.
void BrowserControl::ReportUnavailable(const std::string& error) {
  if (reported_) return;
  reported_ = true;
  desktop_.showMessage(std::string(kBrowserUnavailable) + "\n\n" + error, kMessageTitle);
}

void BrowserControl::Create() {
  state_ = State::Wanted;
  CreateConfigured();
}

void BrowserControl::Release() {
  state_ = State::Released;
  if (browser_) browser_->setVisible(false);
  browser_.reset();
}

platform::Browser* BrowserControl::Usable() {
  if (state_ != State::Wanted) return nullptr;
  if (browser_ && browser_->alive()) return browser_.get();
  browser_.reset();
  CreateConfigured();
  return browser_.get();
}

void BrowserControl::ShowPage(std::string_view url, std::function<void()> loaded) {
  platform::Browser* browser = Usable();
  if (!browser) return loaded();
  browser->navigate(url);
  browser->setVisible(true);
  WaitUntilLoaded(std::move(loaded), kMaxPolls);
}

void BrowserControl::WaitUntilLoaded(std::function<void()> loaded, int pollsLeft) {
  if (pollsLeft == 0 || !browser_ || !browser_->alive() || !browser_->busy()) return loaded();
  scheduler_.runLater(kPollInterval, [this, loaded = std::move(loaded), pollsLeft]() mutable {
    WaitUntilLoaded(std::move(loaded), pollsLeft - 1);
  });
}

void BrowserControl::SetFullScreen(bool on) {
  if (auto* browser = Usable()) browser->setFullScreen(on);
}

void BrowserControl::SetVisible(bool visible) {
  if (auto* browser = Usable()) browser->setVisible(visible);
}

// A browser created again has its menu bar off already: no need to bring one back for this.
void BrowserControl::HideMenuBar() {
  if (browser_ && browser_->alive()) browser_->setMenuBar(false);
}

}  // namespace child
