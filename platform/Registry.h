// The operating system's registry, read only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class RegistryRoot { LocalMachine };

// The registry's own type codes.
inline constexpr std::uint32_t kRegistryString = 1;  // REG_SZ
inline constexpr std::uint32_t kRegistryNumber = 4;  // REG_DWORD, little-endian

// Where Windows keeps the path of its system-information viewer. A backend whose system has no
// registry answers this one value with a viewer of its own.
inline constexpr std::string_view kSystemInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr std::string_view kSystemInfoValue = "PATH";

struct RegistryValue {
  std::uint32_t type = 0;  // one of the type codes
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
