#pragma once

#include <string>

#include "platform/BrowserProgram.h"

namespace platform {

// Debian's Chromium, started with its DevTools pipe on descriptors 3 and 4 and a profile under the
// user's cache folder; `path` names another program that speaks the same (the tests' stand-in).
class QtBrowserPrograms final : public BrowserPrograms {
 public:
  explicit QtBrowserPrograms(std::string path = "/usr/bin/chromium");
  BrowserProgramStart start(BrowserProgramEvents events) override;

 private:
  std::string path_;
};

}  // namespace platform
