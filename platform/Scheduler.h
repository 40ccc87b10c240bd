#pragma once

#include <chrono>
#include <functional>

namespace platform {

// Runs a function later on the UI thread, from the event loop: the way to wait for something
// without blocking the user's events.
class Scheduler {
 public:
  virtual ~Scheduler() = default;
  virtual void runLater(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

}  // namespace platform
