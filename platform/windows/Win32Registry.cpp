#include "platform/windows/Win32Registry.h"

#include <windows.h>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

std::string Ansi(std::string_view utf8) {
  return FromUtf16(CP_ACP, Utf8ToUtf16(utf8));
}

HKEY Handle(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

}  // namespace

std::optional<RegistryValue> Win32Registry::read(RegistryRoot root, std::string_view key,
                                                 std::string_view value, std::size_t capacity) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(Handle(root), Ansi(key).c_str(), 0, KEY_QUERY_VALUE, &opened) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::string data(capacity, '\0');
  DWORD type = 0;
  auto length = static_cast<DWORD>(capacity);
  const LSTATUS status = RegQueryValueExA(opened, Ansi(value).c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &length);
  RegCloseKey(opened);
  if (status != ERROR_SUCCESS) return std::nullopt;
  data.resize(length);
  return RegistryValue{type, std::move(data)};
}

}  // namespace platform
