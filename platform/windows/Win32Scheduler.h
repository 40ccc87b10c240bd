#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>

#include "platform/Scheduler.h"
#include "platform/windows/Win32MessageWindow.h"

namespace platform {

// One-shot timers of the backend's message window: each task runs once, from the event loop
// (or from a modal loop, such as a message box's), on the UI thread.
class Win32Scheduler final : public Scheduler {
 public:
  explicit Win32Scheduler(Win32MessageWindow& window);
  ~Win32Scheduler() override;
  Win32Scheduler(const Win32Scheduler&) = delete;
  Win32Scheduler& operator=(const Win32Scheduler&) = delete;

  void runLater(std::chrono::milliseconds delay, std::function<void()> task) override;

 private:
  void run(UINT_PTR timer);

  Win32MessageWindow& window_;
  UINT_PTR nextTimer_ = 1;
  std::map<UINT_PTR, std::function<void()>> tasks_;
};

}  // namespace platform
