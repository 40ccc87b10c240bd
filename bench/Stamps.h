// Moments at which something happened on one thread, awaited from another.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// The processor time this thread has had; the system call that reads it adds a little.
Clock::duration ThreadTime();

class Stamps {
 public:
  void add(Clock::time_point at);
  // The moment of the `count`th stamp (from 1), once there is one; none after `limit`.
  std::optional<Clock::time_point> waitFor(std::size_t count, std::chrono::milliseconds limit);
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable added_;
  std::vector<Clock::time_point> times_;
};

// What the agent did with its browser, stamped when it did it.
struct Recorder {
  // A full-screen message handed to the browser's pipe, and written to it (the program's send()
  // done: the kernel has it, and has woken the browser's reader; the browser's turn that may come
  // before the send returns is left out).
  Stamps boundsHanded;
  Stamps boundsWritten;
  Stamps boundsReturned;  // the send returned, on the wall clock: the browser's turn included
  Stamps shown;           // the browser's windows shown or hidden
  Stamps loaded;          // the browser's word that a page has loaded, as the agent hears it
};

}  // namespace bench
