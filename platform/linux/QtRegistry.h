#pragma once

#include "platform/CodePage.h"
#include "platform/Registry.h"

namespace platform {

// Linux has no registry. This one holds the one value that the behaviour reads: where the viewer
// of system information is.
class QtRegistry final : public Registry {
 public:
  explicit QtRegistry(const CodePage& codePage) : codePage_(codePage) {}

  std::optional<RegistryValue> read(RegistryRoot root, std::string_view key, std::string_view value,
                                    std::size_t capacity) override;

 private:
  const CodePage& codePage_;
};

}  // namespace platform
