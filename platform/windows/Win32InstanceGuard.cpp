#include "platform/windows/Win32InstanceGuard.h"

#include <string>

namespace platform {
namespace {

// Named after the program file, as Windows users expect of "already running": a renamed copy
// is another program. File names are case-insensitive, mutex names are not.
std::wstring ClaimName() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
         path.size()) {
    path.resize(path.size() * 2);
  }
  path.resize(length);
  std::wstring stem = path.substr(path.find_last_of(L"\\/") + 1);
  stem = stem.substr(0, stem.find_last_of(L'.'));
  CharLowerBuffW(stem.data(), static_cast<DWORD>(stem.size()));
  return L"Local\\" + stem + L".instance";
}

}  // namespace

Win32InstanceGuard::~Win32InstanceGuard() {
  if (mutex_) CloseHandle(mutex_);
}

bool Win32InstanceGuard::anotherInstanceRunning() {
  if (!anotherRunning_) anotherRunning_ = !claim();
  return *anotherRunning_;
}

bool Win32InstanceGuard::claim() {
  mutex_ = CreateMutexW(nullptr, FALSE, ClaimName().c_str());
  const DWORD error = GetLastError();
  if (mutex_) return error != ERROR_ALREADY_EXISTS;
  // A holder running under another account in this session denies us the mutex outright.
  return error != ERROR_ACCESS_DENIED;
}

}  // namespace platform
