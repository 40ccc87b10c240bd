#include "bench/RecordingBrowser.h"

#include <string>
#include <utility>

namespace bench {
namespace {

// Stamps first, so that the bookkeeping after it is not counted against the agent.
void Stamp(Stamps& stamps) {
  stamps.add(Clock::now());
}

class RecordingBrowser final : public platform::Browser {
 public:
  explicit RecordingBrowser(Recorder& recorder) : recorder_(recorder) {}
  bool alive() override { return true; }
  void navigate(std::string_view url) override {
    Stamp(recorder_.navigated);
    recorder_.addUrl(url);
  }
  void setVisible(bool) override {}
  bool busy() override { return false; }
  void setFullScreen(bool on) override {
    if (on) Stamp(recorder_.fullScreenOn);
  }
  void setToolBar(bool) override {}
  void setMenuBar(bool on) override {
    if (!on) Stamp(recorder_.menuBarOff);
  }

 private:
  Recorder& recorder_;
};

class TimedBrowser final : public platform::Browser {
 public:
  TimedBrowser(std::unique_ptr<platform::Browser> real, Recorder& recorder)
      : real_(std::move(real)), recorder_(recorder) {}
  bool alive() override { return real_->alive(); }
  void navigate(std::string_view url) override {
    Stamp(recorder_.navigated);
    recorder_.addUrl(url);
    loading_ = true;
    real_->navigate(url);
  }
  void setVisible(bool visible) override { real_->setVisible(visible); }
  bool busy() override {
    const bool busy = real_->busy();
    if (!busy && loading_) {
      Stamp(recorder_.notBusy);
      loading_ = false;
    }
    return busy;
  }
  void setFullScreen(bool on) override {
    real_->setFullScreen(on);
    if (on) Stamp(recorder_.fullScreenOn);
  }
  void setToolBar(bool on) override { real_->setToolBar(on); }
  void setMenuBar(bool on) override {
    real_->setMenuBar(on);
    if (!on) Stamp(recorder_.menuBarOff);
  }

 private:
  std::unique_ptr<platform::Browser> real_;
  Recorder& recorder_;
  bool loading_ = false;
};

}  // namespace

platform::BrowserCreation RecordingBrowserFactory::create() {
  return {std::make_unique<RecordingBrowser>(recorder_), {}, {}};
}

platform::BrowserCreation TimedBrowserFactory::create() {
  auto creation = real_.create();
  if (creation.browser) {
    creation.browser = std::make_unique<TimedBrowser>(std::move(creation.browser), recorder_);
  }
  return creation;
}

}  // namespace bench
