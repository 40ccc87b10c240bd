#include "devtools/Browsers.h"

#include <algorithm>
#include <utility>

#include "devtools/Session.h"

namespace devtools {
namespace {

using namespace std::chrono_literals;

// A browser that lived shorter than this died at once; each such death in a row doubles the wait
// before the next start (1, 2, 4 … s, never above a minute), so that one that crashes at every
// start costs a start a minute, not a storm. One that lived longer starts the count again.
constexpr auto kShortLife = 10s;
constexpr auto kLongestSpacing = 60s;

// The reasons are the system's words, not the agent's, as an error of the system's would be.
constexpr const char* kNoneInstalled = "no Chromium-family browser (Chromium, Microsoft Edge)";
constexpr const char* kNotInstalled = "not installed";
constexpr const char* kPipe = "--remote-debugging-pipe";
constexpr const char* kPipeRefused =
    "the browser refused its DevTools pipe (policies RemoteDebuggingAllowed, "
    "DeveloperToolsAvailability)";

}  // namespace

Browsers::Browsers(platform::BrowserPrograms& programs, platform::Scheduler& scheduler,
                   platform::BrowserFactory* fallback)
    : programs_(programs), scheduler_(scheduler), fallback_(fallback) {}

platform::BrowserCreation Browsers::create() {
  if (refused_) return Fallback();
  if (scheduler_.now() < nextStart_) return {};
  auto session =
      std::make_unique<Session>(scheduler_, [this, started = scheduler_.now()](Session::End end) {
        Ended(end == Session::End::Refused, started);
      });
  auto start = session->start(programs_);
  if (!start.installed) {
    return fallback_ ? fallback_->create()
                     : platform::BrowserCreation{nullptr, kNoneInstalled, kNotInstalled};
  }
  if (!session->alive()) return {nullptr, std::move(start.component), std::move(start.reason)};
  platform::BrowserCreation creation{std::move(session), {}, {}};
  if (std::exchange(refusalUnsaid_, false)) SayRefused(creation);
  return creation;
}

// The refusal goes with every creation of the fallback's after it: the agent
// says the first reason of its run once.
platform::BrowserCreation Browsers::Fallback() {
  platform::BrowserCreation creation = fallback_->create();
  SayRefused(creation);
  return creation;
}

void Browsers::SayRefused(platform::BrowserCreation& creation) {
  creation.component = kPipe;
  creation.reason = kPipeRefused;
}

// With no fallback, a refusal only spaces the next start out as a quick death would: a browser
// killed or slowed down at its start looks the same, and must not cost the rest of the run.
void Browsers::Ended(bool refused, platform::Scheduler::Clock::time_point started) {
  if (refused && fallback_) {
    refused_ = true;
    return;
  }
  refusalUnsaid_ = refusalUnsaid_ || refused;
  const auto now = scheduler_.now();
  spacing_ = !refused && now - started >= kShortLife
                 ? 0s
                 : std::clamp<std::chrono::seconds>(spacing_ * 2, 1s, kLongestSpacing);
  nextStart_ = now + spacing_;
}

}  // namespace devtools
