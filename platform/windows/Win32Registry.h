#pragma once

#include "platform/Registry.h"

namespace platform {

// The registry through its ANSI calls, with query access only: a student's account may not open
// the machine's keys for writing.
class Win32Registry final : public Registry {
 public:
  std::optional<RegistryValue> read(RegistryRoot root, std::string_view key, std::string_view value,
                                    std::size_t capacity) override;
};

}  // namespace platform
