#include "bench/Stamps.h"

#include <time.h>

namespace bench {

Clock::duration ThreadTime() {
  timespec time{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
  return std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(time.tv_sec) +
                                                     std::chrono::nanoseconds(time.tv_nsec));
}

void Stamps::add(Clock::time_point at) {
  {
    const std::lock_guard lock(mutex_);
    times_.push_back(at);
  }
  added_.notify_all();
}

std::optional<Clock::time_point> Stamps::waitFor(std::size_t count,
                                                 std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  if (!added_.wait_for(lock, limit, [&] { return times_.size() >= count; })) return std::nullopt;
  return times_[count - 1];
}

std::size_t Stamps::size() const {
  const std::lock_guard lock(mutex_);
  return times_.size();
}

}  // namespace bench
