#include <windows.h>
// After windows.h, on which they build.
#include <shlobj.h>

#include "platform/Paths.h"
#include "platform/windows/Win32Text.h"

namespace platform {

// %APPDATA% is the user's own: a folder made in it inherits that.
std::string UserSettingsFolder() {
  PWSTR roaming = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &roaming) != S_OK) {
    CoTaskMemFree(roaming);
    return "";
  }
  const std::wstring folder = std::wstring(roaming) + L"\\Velostrander";
  CoTaskMemFree(roaming);
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return "";
  }
  return FromUtf16(CP_UTF8, folder);
}

}  // namespace platform
