// The operating system's registry, read only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class RegistryRoot { LocalMachine };

struct RegistryValue {
  std::uint32_t type = 0;  // the registry's own type code: 1 a string, 4 a 32-bit number, ...
  std::string data;        // the bytes as stored; a string's in the system's code page
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens the key for querying only and reads the value into `capacity` bytes; nothing when the
  // key cannot be opened or the value cannot be read whole. Key and value names are UTF-8.
  virtual std::optional<RegistryValue> read(RegistryRoot root, std::string_view key,
                                            std::string_view value, std::size_t capacity) = 0;
};

}  // namespace platform
