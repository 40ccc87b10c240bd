#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/InstanceGuard.h"

namespace platform {

// One instance per program name (the application's name, which is its file's name unless the
// program sets another), user and display. The claim is a lock on a file in a folder that only
// the user may enter: no other user can take it first, and the kernel drops the lock with the
// process, however the process ends, so nothing is left to go stale.
class PosixInstanceGuard final : public InstanceGuard {
 public:
  // `sharedTemporary`: the folder that every user may write in, where the claim goes when the
  // session has no runtime folder.
  explicit PosixInstanceGuard(std::string sharedTemporary = "/tmp")
      : sharedTemporary_(std::move(sharedTemporary)) {}
  ~PosixInstanceGuard() override;
  PosixInstanceGuard(const PosixInstanceGuard&) = delete;
  PosixInstanceGuard& operator=(const PosixInstanceGuard&) = delete;

  bool anotherInstanceRunning() override;

 private:
  bool claim();

  std::string sharedTemporary_;
  int lock_ = -1;
  std::optional<bool> anotherRunning_;
};

}  // namespace platform
