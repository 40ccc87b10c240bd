#include "platform/linux/QtRegistry.h"

#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <cctype>

namespace platform {
namespace {

// Viewers of system information that Debian packages, the first one on PATH wins: KDE's Info
// Center, HardInfo (any desktop), GNOME's System Monitor.
constexpr std::array kViewers = {"kinfocenter", "hardinfo", "gnome-system-monitor"};

// The registry's names ignore case.
bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::optional<RegistryValue> QtRegistry::read(RegistryRoot root, std::string_view key,
                                              std::string_view value, std::size_t capacity) {
  if (root != RegistryRoot::LocalMachine || !SameName(key, kSystemInfoKey) ||
      !SameName(value, kSystemInfoValue)) {
    return std::nullopt;
  }
  for (const char* viewer : kViewers) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(viewer));
    if (path.isEmpty()) continue;
    // As Windows stores a string: in the system's code page, with its terminating NUL.
    std::string data = codePage_.fromUtf8(path.toStdString());
    data.push_back('\0');
    if (data.size() > capacity) return std::nullopt;
    return RegistryValue{kRegistryString, std::move(data)};
  }
  return std::nullopt;
}

}  // namespace platform
