#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

#include "platform/Resolver.h"
#include "platform/windows/Win32MessageWindow.h"

namespace platform {

// Each lookup runs GetAddrInfoW on a thread of the system's pool, which posts its answer to the
// backend's message window: `done` runs on the UI thread, and only while the resolver lives.
class Win32Resolver final : public Resolver {
 public:
  explicit Win32Resolver(Win32MessageWindow& window);
  ~Win32Resolver() override;
  Win32Resolver(const Win32Resolver&) = delete;
  Win32Resolver& operator=(const Win32Resolver&) = delete;

  void lookUp(std::string_view host, Done done) override;

 private:
  Win32MessageWindow& window_;
  const UINT message_;
  std::uint64_t nextLookup_ = 0;
  std::map<std::uint64_t, Done> waiting_;
};

}  // namespace platform
