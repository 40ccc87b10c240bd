// Stands in for icacls.exe and netsh.exe, which under Wine change nothing and say they did: it
// appends its command line (UTF-8) to the file that VELO_RECORD names, and exits with 1 where
// that line holds the text of VELO_RECORD_FAIL (netsh showing a rule that is not there), else 0.
#include <windows.h>

#include <fstream>
#include <string>

int wmain() {
  const std::wstring line = GetCommandLineW();
  std::string utf8(line.size() * 3, '\0');
  utf8.resize(WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                  utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr));
  char path[MAX_PATH], fail[MAX_PATH];
  if (GetEnvironmentVariableA("VELO_RECORD", path, MAX_PATH))
    std::ofstream(path, std::ios::app | std::ios::binary) << utf8 << "\n";
  return GetEnvironmentVariableA("VELO_RECORD_FAIL", fail, MAX_PATH) &&
         utf8.find(fail) != std::string::npos;
}
