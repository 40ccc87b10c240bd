#pragma once

#include <optional>

#include "platform/InstanceGuard.h"

namespace platform {

// One instance per program file name, user and display. The claim is a lock on a file in the
// user's own runtime folder: no other user can take it first, and the kernel drops the lock with
// the process, however the process ends, so nothing is left to go stale.
class PosixInstanceGuard final : public InstanceGuard {
 public:
  PosixInstanceGuard() = default;
  ~PosixInstanceGuard() override;
  PosixInstanceGuard(const PosixInstanceGuard&) = delete;
  PosixInstanceGuard& operator=(const PosixInstanceGuard&) = delete;

  bool anotherInstanceRunning() override;

 private:
  bool claim();

  int lock_ = -1;
  std::optional<bool> anotherRunning_;
};

}  // namespace platform
