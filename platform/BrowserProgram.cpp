#include "platform/BrowserProgram.h"

namespace platform {

// --app gives the one window without address bar and tabs, on an empty page of a scheme it takes
// (given "about:blank", Chromium 156 opens a tabbed window on its new tab page instead); the rest
// keeps the browser's own pages, questions and bubbles away, a profile kept between runs being one
// it would otherwise offer to restore after a kill.
std::vector<std::string> BrowserArguments(std::string_view profile) {
  return {"--user-data-dir=" + std::string(profile),
          "--no-first-run",
          "--no-default-browser-check",
          "--disable-sync",
          "--disable-features=Translate",
          "--hide-crash-restore-bubble",
          "--noerrdialogs",
          "--app=data:text/html,"};
}

}  // namespace platform
