#include "platform/windows/Win32Scheduler.h"

#include <algorithm>
#include <utility>

namespace platform {

Win32Scheduler::Win32Scheduler(Win32MessageWindow& window) : window_(window) {
  window_.setHandler(WM_TIMER, [this](WPARAM timer, LPARAM) { run(timer); });
}

Win32Scheduler::~Win32Scheduler() {
  window_.removeHandler(WM_TIMER);
  for (const auto& [timer, task] : tasks_) KillTimer(window_.hwnd(), timer);
}

void Win32Scheduler::runLater(std::chrono::milliseconds delay, std::function<void()> task) {
  const UINT_PTR timer = nextTimer_++;
  // A negative or huge delay must not wrap around in the cast.
  const auto milliseconds = static_cast<UINT>(std::clamp<std::chrono::milliseconds::rep>(
      delay.count(), USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
  tasks_.emplace(timer, std::move(task));
  SetTimer(window_.hwnd(), timer, milliseconds, nullptr);
}

void Win32Scheduler::run(UINT_PTR timer) {
  KillTimer(window_.hwnd(), timer);
  const auto found = tasks_.find(timer);
  if (found == tasks_.end()) return;
  const std::function<void()> task = std::move(found->second);
  tasks_.erase(found);
  task();
}

}  // namespace platform
