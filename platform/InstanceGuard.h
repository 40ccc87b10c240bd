#pragma once

namespace platform {

// Tells whether another instance of the program runs in this user's session. The first call
// claims the program for this process for as long as it lives; a crashed holder never keeps
// the claim.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;
  virtual bool anotherInstanceRunning() = 0;
};

}  // namespace platform
