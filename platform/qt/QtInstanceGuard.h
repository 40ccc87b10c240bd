#pragma once

#include <optional>

#include "platform/InstanceGuard.h"

namespace platform {

// One agent per user and display. The claim is a socket name in the abstract namespace: the
// kernel drops it with the process, however the process ends, so nothing is left to go stale.
class QtInstanceGuard final : public InstanceGuard {
 public:
  QtInstanceGuard() = default;
  ~QtInstanceGuard() override;
  QtInstanceGuard(const QtInstanceGuard&) = delete;
  QtInstanceGuard& operator=(const QtInstanceGuard&) = delete;

  bool anotherInstanceRunning() override;

 private:
  bool claim();

  int socket_ = -1;
  std::optional<bool> anotherRunning_;
};

}  // namespace platform
