// Moments at which something happened on one thread, awaited from another.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

class Stamps {
 public:
  void add(Clock::time_point at);
  // The moment of the `count`th stamp (from 1), once there is one; none after `limit`.
  std::optional<Clock::time_point> waitFor(std::size_t count, std::chrono::milliseconds limit);
  std::size_t size() const;
  std::optional<Clock::time_point> last() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable added_;
  std::vector<Clock::time_point> times_;
};

// The calls the agent made on its browser, stamped when they were made.
struct Recorder {
  Stamps fullScreenOn;
  Stamps navigated;
  Stamps menuBarOff;
  Stamps notBusy;  // the first read of busy() that answered false after a navigate

  void addUrl(std::string_view url);
  std::vector<std::string> urls() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> urls_;
};

}  // namespace bench
