// The agent's browsers, driven over the DevTools pipe of a Chromium-family browser program.
#pragma once

#include "platform/Browser.h"
#include "platform/BrowserProgram.h"
#include "platform/Scheduler.h"

namespace devtools {

// Each create() starts a browser program and drives it over its pipe. Where none is installed,
// or the installed one refuses the pipe (a policy can), the fallback's browsers are given
// instead (none where there is no fallback). Restarts of a browser that keeps dying at once are
// bounded. Outlives every browser it has given.
class Browsers final : public platform::BrowserFactory {
 public:
  Browsers(platform::BrowserPrograms& programs, platform::Scheduler& scheduler,
           platform::BrowserFactory* fallback);
  platform::BrowserCreation create() override;

 private:
  platform::BrowserCreation Fallback();
  static void SayRefused(platform::BrowserCreation& creation);
  void Ended(bool refused, platform::Scheduler::Clock::time_point started);

  platform::BrowserPrograms& programs_;
  platform::Scheduler& scheduler_;
  platform::BrowserFactory* const fallback_;
  int refusals_ = 0;            // in a row
  int quickDeaths_ = 0;         // in a row, refusals among them
  bool refusalUnsaid_ = false;  // a refusal believed, with no fallback: the next creation says it
  std::chrono::seconds spacing_{0};
  platform::Scheduler::Clock::time_point nextStart_{};
};

}  // namespace devtools
