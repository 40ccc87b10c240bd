// The agent's real browsers, stamped where the benchmarks look: the messages the agent writes to
// the browser's pipe, and the agent's calls on its browser.
#pragma once

#include "bench/Stamps.h"
#include "platform/Browser.h"
#include "platform/BrowserProgram.h"

namespace bench {

// Stamps each full-screen message right after it was handed to the pipe, and each time the
// browser's windows are shown, which a session does once it is ready.
class StampingPrograms final : public platform::BrowserPrograms {
 public:
  StampingPrograms(platform::BrowserPrograms& real, Recorder& recorder)
      : real_(real), recorder_(recorder) {}
  platform::BrowserProgramStart start(platform::BrowserProgramEvents events) override;

 private:
  platform::BrowserPrograms& real_;
  Recorder& recorder_;
};

// Stamps each page the agent hears has loaded.
class StampingBrowsers final : public platform::BrowserFactory {
 public:
  StampingBrowsers(platform::BrowserFactory& real, Recorder& recorder)
      : real_(real), recorder_(recorder) {}
  platform::BrowserCreation create() override;

 private:
  platform::BrowserFactory& real_;
  Recorder& recorder_;
};

}  // namespace bench
