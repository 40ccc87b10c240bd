// The agent's one browser: started when first needed, driven by the master's datagrams, started
// again when it has gone, released at shutdown.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/Scheduler.h"

namespace child {

class BrowserControl {
 public:
  // How long ShowPage waits for a page at most, and how often it looks where the browser cannot
  // say: a page that never finishes must not hold up the master's later commands for good.
  static constexpr std::chrono::milliseconds kPollInterval{20};
  static constexpr std::chrono::seconds kPageWaitLimit{15};

  BrowserControl(platform::BrowserFactory& factory, platform::Scheduler& scheduler,
                 platform::Desktop& desktop);

  // Start-up: a browser is wanted from now on. It is created at the first page or "VisibleTrue"
  // (an idle agent costs no browser), hidden, in the full-screen state last asked for, tool bar
  // and menu bar off; so is one that has gone, at the next of them. The first reason the
  // factory gives for having no browser, or only a stand-in, is said once in the program's run.
  void Create();
  // Shutdown: hides the browser and drops it. Silent, and harmless when repeated or when no
  // browser was ever created; no browser is created after it.
  void Release();

  // Opens the URL exactly as given, shows the browser, and calls `loaded` once the browser no
  // longer reports itself busy (or the wait's bound has passed, or EndPageWait() came first).
  // User events go on meanwhile. One page at a time: a page shown before the last one's
  // `loaded` drops that one's wait, `loaded` and all.
  void ShowPage(std::string_view url, std::function<void()> loaded);
  // A newer page makes the wait for this one pointless: its `loaded` is called now. Nothing
  // when no page is waited for.
  void EndPageWait();
  void SetFullScreen(bool on);
  void SetVisible(bool visible);
  void HideMenuBar();

 private:
  enum class State { NotCreated, Wanted, Released };

  // The browser to drive, created when there is none (the user has closed it or it crashed) and
  // `start`; null when none can be had.
  // Every call into the backend may run other events, an unload among them: the browser is
  // looked up anew after each one rather than held.
  platform::Browser* Usable(bool start);
  void CreateConfigured();
  void ReportUnavailable(const platform::BrowserCreation& failure);
  void WaitUntilLoaded(std::function<void()> loaded);
  // For a browser that has no word of its own for the page's end.
  void PollUntilLoaded(std::weak_ptr<std::function<void()>> wait,
                       platform::Scheduler::Clock::time_point limit);

  platform::BrowserFactory& factory_;
  platform::Scheduler& scheduler_;
  platform::Desktop& desktop_;
  std::unique_ptr<platform::Browser> browser_;
  // The page wait's `loaded`, empty once called. The looks and timers of a wait hold it weakly,
  // so that they stop when it is ended or a newer one replaces it.
  std::shared_ptr<std::function<void()>> pageWait_;
  State state_ = State::NotCreated;
  bool fullScreen_ = false;
  bool reported_ = false;
};

}  // namespace child
