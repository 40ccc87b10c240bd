// Browser programs played by a test: the browser's side of the pipe is the test's, which reads
// what the agent sent and writes the browser's bytes as it likes.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/BrowserProgram.h"

namespace fake {

// Of the program started last.
struct ScriptedPrograms : platform::BrowserPrograms {
  platform::BrowserProgramStart start(platform::BrowserProgramEvents events) override {
    ++starts;
    if (!installed) return {nullptr, false, {}, {}};
    browser = std::move(events);
    sent.clear();
    shown.clear();
    return {std::make_unique<Program>(*this), true, {}, {}};
  }

  bool installed = true;
  int starts = 0;
  platform::BrowserProgramEvents browser;    // what the browser writes, and its pipe's end
  std::string sent;                          // the bytes the agent sent it
  std::vector<std::pair<bool, bool>> shown;  // its showWindows(): visible, full screen
  bool running = false;                      // until the agent drops it

 private:
  struct Program : platform::BrowserProgram {
    explicit Program(ScriptedPrograms& programs) : programs_(programs) { programs.running = true; }
    ~Program() override { programs_.running = false; }
    void send(std::string_view bytes) override { programs_.sent += bytes; }
    void showWindows(bool visible, bool fullScreen) override {
      programs_.shown.emplace_back(visible, fullScreen);
    }
    ScriptedPrograms& programs_;
  };
};

}  // namespace fake
