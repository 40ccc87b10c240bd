#include "bench/Stamping.h"

#include <chrono>
#include <string_view>
#include <utility>

namespace bench {
namespace {

class StampingProgram final : public platform::BrowserProgram {
 public:
  StampingProgram(std::unique_ptr<platform::BrowserProgram> real, Recorder& recorder)
      : real_(std::move(real)), recorder_(recorder) {}
  // Written is handed and the time this thread spent in the send, not the time on the wall: the
  // browser's reader, when the send wakes it on this processor, may run as the send leaves the
  // kernel, reading the message just written, and whatever else is due may run too before this
  // thread has the processor back. The search and the reading of that time cost about as much as
  // one system call, which written then counts.
  void send(std::string_view bytes) override {
    const auto handed = Clock::now();
    const bool bounds = bytes.find("\"Browser.setWindowBounds\"") != std::string_view::npos;
    const auto ran = ThreadTime();
    real_->send(bytes);
    if (!bounds) return;
    const auto returned = Clock::now();
    const auto written = handed + (ThreadTime() - ran);
    recorder_.boundsHanded.add(handed);  // first: whoever awaits the written one reads all three
    recorder_.boundsReturned.add(returned);
    recorder_.boundsWritten.add(written);
  }
  void showWindows(bool visible, bool fullScreen) override {
    real_->showWindows(visible, fullScreen);
    recorder_.shown.add(Clock::now());
  }

 private:
  std::unique_ptr<platform::BrowserProgram> real_;
  Recorder& recorder_;
};

class StampingBrowser final : public platform::Browser {
 public:
  StampingBrowser(std::unique_ptr<platform::Browser> real, Recorder& recorder)
      : real_(std::move(real)), recorder_(recorder) {}
  bool alive() override { return real_->alive(); }
  void navigate(std::string_view url) override { real_->navigate(url); }
  void setVisible(bool visible) override { real_->setVisible(visible); }
  bool busy() override { return real_->busy(); }
  // Only the browser's word is stamped: a page the agent stopped waiting for is none loaded.
  bool whenLoaded(std::function<void()> loaded) override {
    return real_->whenLoaded([&recorder = recorder_, loaded = std::move(loaded)] {
      recorder.loaded.add(Clock::now());
      loaded();
    });
  }
  void setFullScreen(bool on) override { real_->setFullScreen(on); }
  void setToolBar(bool on) override { real_->setToolBar(on); }
  void setMenuBar(bool on) override { real_->setMenuBar(on); }

 private:
  std::unique_ptr<platform::Browser> real_;
  Recorder& recorder_;
};

}  // namespace

platform::BrowserProgramStart StampingPrograms::start(platform::BrowserProgramEvents events) {
  auto start = real_.start(std::move(events));
  if (start.program) {
    start.program = std::make_unique<StampingProgram>(std::move(start.program), recorder_);
  }
  return start;
}

platform::BrowserCreation StampingBrowsers::create() {
  auto creation = real_.create();
  if (creation.browser) {
    creation.browser = std::make_unique<StampingBrowser>(std::move(creation.browser), recorder_);
  }
  return creation;
}

}  // namespace bench
