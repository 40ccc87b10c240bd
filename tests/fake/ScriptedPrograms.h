// Browser programs played by a test: the browser's side of each pipe is the test's, which reads
// what the agent sent and writes the browser's bytes as it likes.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/BrowserProgram.h"

namespace fake {

struct BrowserPipe {
  platform::BrowserProgramEvents browser;  // what the browser writes, and its end
  std::vector<std::string> sent;           // each message's bytes, its NUL included
  std::vector<bool> shown;                 // each showWindows()
  bool running = true;                     // until the agent drops the program
};

class ScriptedPrograms : public platform::BrowserPrograms {
 public:
  platform::BrowserProgramStart start(platform::BrowserProgramEvents events) override {
    ++starts;
    if (!installed || !failure.empty()) return {nullptr, installed, "chromium", failure};
    pipe = std::make_shared<BrowserPipe>();
    pipe->browser = std::move(events);
    return {std::make_unique<Program>(pipe), true, {}, {}};
  }

  bool installed = true;
  std::string failure;  // when set, starts fail for this reason
  int starts = 0;
  std::shared_ptr<BrowserPipe> pipe;  // the last program's

 private:
  class Program : public platform::BrowserProgram {
   public:
    explicit Program(std::shared_ptr<BrowserPipe> pipe) : pipe_(std::move(pipe)) {}
    ~Program() override { pipe_->running = false; }
    void send(std::string_view bytes) override { pipe_->sent.emplace_back(bytes); }
    void showWindows(bool visible) override { pipe_->shown.push_back(visible); }

   private:
    std::shared_ptr<BrowserPipe> pipe_;
  };
};

}  // namespace fake
