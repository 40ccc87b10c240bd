#include "devtools/Browsers.h"

#include <algorithm>
#include <utility>

#include "devtools/Session.h"

namespace devtools {
namespace {

using namespace std::chrono_literals;

// A browser that lived shorter than this died at once. The first such death is restarted at
// once (a student who kills the browser gets it back with the next page); each further one in a
// row doubles the wait before the next start (1, 2, 4 … s, never above a minute), so that one that
// crashes at every start costs a start a minute, not a storm. One that lived longer starts the
// count again.
constexpr auto kShortLife = 10s;
constexpr auto kLongestSpacing = 60s;
// A browser killed at its start, or held up by a message box that stops the event loop, looks
// like one that refuses its pipe: only so many refusals in a row are taken as the browser's word.
constexpr int kRefusalsInARow = 3;

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
  if (fallback_ && refusals_ >= kRefusalsInARow) return Fallback();
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

// The refusal goes with every creation of the fallback's after it: the agent says the first
// reason of its run once.
platform::BrowserCreation Browsers::Fallback() {
  platform::BrowserCreation creation = fallback_->create();
  SayRefused(creation);
  return creation;
}

void Browsers::SayRefused(platform::BrowserCreation& creation) {
  creation.component = kPipe;
  creation.reason = kPipeRefused;
}

// A refusal is a death at once too: until the browser has refused often enough to be believed,
// the next start is only spaced out.
void Browsers::Ended(bool refused, platform::Scheduler::Clock::time_point started) {
  refusals_ = refused ? refusals_ + 1 : 0;
  // Believed, with a fallback it is for good: no browser is started to end the count.
  if (refusals_ == kRefusalsInARow) refusalUnsaid_ = true;
  const auto now = scheduler_.now();
  quickDeaths_ = refused || now - started < kShortLife ? quickDeaths_ + 1 : 0;
  spacing_ =
      quickDeaths_ < 2 ? 0s : std::clamp<std::chrono::seconds>(spacing_ * 2, 1s, kLongestSpacing);
  nextStart_ = now + spacing_;
}

}  // namespace devtools
