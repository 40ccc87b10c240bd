// A Chromium-family browser program (Chromium, Edge), started with its DevTools pipe: the agent's
// requests and the browser's answers and events travel over it as JSON texts, each ended by a
// NUL byte. The protocol itself is the behaviour's; a backend only starts the program, moves the
// bytes and shows or hides the program's windows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class BrowserProgram {
 public:
  // Ends the program: closes the agent's ends of the pipe, which a Chromium-family browser takes
  // as the end of its run, and ends whatever of the program is still running.
  virtual ~BrowserProgram() = default;
  // Queues bytes for the browser and returns at once, whatever the pipe's state; bytes sent after
  // the pipe has closed are dropped.
  virtual void send(std::string_view bytes) = 0;
  // Shows or hides every top-level window of the browser's own process, as the platform's window
  // calls do (unmapped on X11, SW_HIDE on Windows). `fullScreen` is the state the windows are to
  // show in: a window manager that forgets a hidden window's state (X11's) is given it before
  // they show, since the browser's own request for it cannot reach a window that is hidden.
  virtual void showWindows(bool visible, bool fullScreen) = 0;
};

struct BrowserProgramEvents {
  // Bytes the browser wrote, as they came: one message may be split across calls, several may
  // come in one.
  std::function<void(std::string_view bytes)> received;
  // The pipe has closed: the browser ended, crashed or was killed, or refused the pipe. Called
  // once, after the last `received`.
  std::function<void()> closed;
};

struct BrowserProgramStart {
  std::unique_ptr<BrowserProgram> program;  // empty when none was started
  // No Chromium-family browser is installed: nothing went wrong, there is just none to use.
  bool installed = true;
  // When one is installed but could not be started: its path, and the system's own words for
  // why.
  std::string component;
  std::string reason;
};

class BrowserPrograms {
 public:
  virtual ~BrowserPrograms() = default;
  // Starts the installed browser with its DevTools pipe, BrowserArguments() and the pipe's own
  // argument; the events come from the event loop, never from within start() or send(). Looks
  // for the browser anew at each call.
  virtual BrowserProgramStart start(BrowserProgramEvents events) = 0;
};

// What a student sees of the browser is the page, in one window without address bar, tabs or
// menus, and nothing of the browser's own questions and bubbles. `profile` is a folder of the
// user's own, kept between runs.
std::vector<std::string> BrowserArguments(std::string_view profile);

}  // namespace platform
