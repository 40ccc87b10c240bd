#include "platform/windows/Win32Programs.h"

#include <windows.h>

#include <string>

#include "platform/Paths.h"
#include "platform/windows/Win32Text.h"

namespace platform {

bool Win32Programs::isOrdinaryFile(std::string_view path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToUtf16(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

// Quoted, so that a path with spaces is not taken for a shorter one and its arguments.
bool Win32Programs::start(std::string_view path) {
  std::wstring commandLine = L"\"" + Utf8ToUtf16(path) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// A path longer than the buffer comes back cut short, filling it: the buffer grows until it
// does not. A folder that is a drive's root keeps its backslash: "C:" alone is another folder.
std::string Win32Programs::ownFolder() {
  std::wstring file(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
    if (length == 0) return {};
    if (length < file.size()) {
      const std::string path = FromUtf16(CP_UTF8, std::wstring_view(file.data(), length));
      const auto separator = path.find_last_of(kPathSeparators);
      if (separator == std::string::npos) return {};
      const bool root = separator == 0 || path[separator - 1] == ':';
      return path.substr(0, root ? separator + 1 : separator);
    }
    file.resize(file.size() * 2);
  }
}

}  // namespace platform
