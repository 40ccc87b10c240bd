// Browsers that stamp the agent's calls: one that only records, so that the figures are the
// agent's own cost, and one that wraps a real browser, so that they include the page.
#pragma once

#include <memory>

#include "bench/Stamps.h"
#include "platform/Browser.h"

namespace bench {

class RecordingBrowserFactory final : public platform::BrowserFactory {
 public:
  explicit RecordingBrowserFactory(Recorder& recorder) : recorder_(recorder) {}
  platform::BrowserCreation create() override;

 private:
  Recorder& recorder_;
};

class TimedBrowserFactory final : public platform::BrowserFactory {
 public:
  TimedBrowserFactory(platform::BrowserFactory& real, Recorder& recorder)
      : real_(real), recorder_(recorder) {}
  platform::BrowserCreation create() override;

 private:
  platform::BrowserFactory& real_;
  Recorder& recorder_;
};

}  // namespace bench
