// The platform's web browser, driven by the agent: one window it opens URLs in, shows, hides
// and switches to full screen.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Calls never throw and never block on a page. A property the browser does not support is
// skipped silently, so the caller's other steps still run; so is every call once the browser
// is gone.
class Browser {
 public:
  // Drops the agent's reference: the browser window goes away with it where the platform
  // ties the two together.
  virtual ~Browser() = default;
  // False once the user has closed the browser window or the browser has crashed.
  virtual bool alive() = 0;
  virtual void navigate(std::string_view url) = 0;  // the URL exactly as given, UTF-8
  virtual void setVisible(bool visible) = 0;
  // True from navigate() until the page has loaded (or failed to); false once gone.
  virtual bool busy() = 0;
  // Calls `loaded` once, from the event loop, when busy() has turned false (soon, when it is
  // false already), so that a wait for a page costs nothing while the page loads; false from a
  // browser that can only be asked busy(), and `loaded` is then dropped.
  virtual bool whenLoaded(std::function<void()>) { return false; }
  virtual void setFullScreen(bool on) = 0;
  virtual void setToolBar(bool on) = 0;
  virtual void setMenuBar(bool on) = 0;
};

struct BrowserCreation {
  std::unique_ptr<Browser> browser;  // empty when no browser could be created
  // When the browser wanted could not be had, even if a stand-in was given instead: the program
  // or registered name, and the system's own words for why. Both empty with no browser: none
  // for now, and nothing new to say.
  std::string component;
  std::string reason;
};

class BrowserFactory {
 public:
  virtual ~BrowserFactory() = default;
  // A new browser, hidden.
  virtual BrowserCreation create() = 0;
};

}  // namespace platform
