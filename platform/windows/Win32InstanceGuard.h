#pragma once

#include <windows.h>

#include <optional>

#include "platform/InstanceGuard.h"

namespace platform {

// One instance per program file name and logon session. The claim is a named mutex: Windows
// drops it with the last handle, so a crashed holder leaves nothing behind.
class Win32InstanceGuard final : public InstanceGuard {
 public:
  Win32InstanceGuard() = default;
  ~Win32InstanceGuard() override;
  Win32InstanceGuard(const Win32InstanceGuard&) = delete;
  Win32InstanceGuard& operator=(const Win32InstanceGuard&) = delete;

  bool anotherInstanceRunning() override;

 private:
  bool claim();

  HANDLE mutex_ = nullptr;
  std::optional<bool> anotherRunning_;
};

}  // namespace platform
