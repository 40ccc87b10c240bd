#pragma once

#include <optional>

#include "platform/InstanceGuard.h"

namespace platform {

// One instance per program file name, user and display. The claim is a lock on a file in the
// user's own runtime folder: no other user can take it first, and the kernel drops the lock with
// the process, however the process ends, so nothing is left to go stale.
class QtInstanceGuard final : public InstanceGuard {
 public:
  QtInstanceGuard() = default;
  ~QtInstanceGuard() override;
  QtInstanceGuard(const QtInstanceGuard&) = delete;
  QtInstanceGuard& operator=(const QtInstanceGuard&) = delete;

  bool anotherInstanceRunning() override;

 private:
  bool claim();

  int lock_ = -1;
  std::optional<bool> anotherRunning_;
};

}  // namespace platform
