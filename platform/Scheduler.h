#pragma once

#include <chrono>
#include <functional>

namespace platform {

// Runs a function later on the UI thread, from the event loop: the way to wait for something
// without blocking the user's events.
class Scheduler {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~Scheduler() = default;
  // A timer may fire well after `delay` (Windows' 20 ms timers fire every ~31 ms): whoever waits
  // for a length of time measures it on now(), not by counting tasks.
  virtual void runLater(std::chrono::milliseconds delay, std::function<void()> task) = 0;
  virtual Clock::time_point now() const { return Clock::now(); }
};

}  // namespace platform
