#include "platform/windows/Win32Waits.h"

#include <algorithm>

namespace platform {

void Win32Waits::add(HANDLE handle, std::function<void()> signalled) {
  waits_.emplace_back(handle, std::move(signalled));
}

void Win32Waits::remove(HANDLE handle) {
  std::erase_if(waits_, [handle](const auto& wait) { return wait.first == handle; });
}

// Runs a copy: the function may remove its handle, and its owner with it.
void Win32Waits::wait(DWORD milliseconds) {
  std::vector<HANDLE> handles;
  for (const auto& wait : waits_) handles.push_back(wait.first);
  const auto count = static_cast<DWORD>(handles.size());
  const DWORD woken = MsgWaitForMultipleObjectsEx(count, handles.data(), milliseconds, QS_ALLINPUT,
                                                  MWMO_INPUTAVAILABLE);
  if (woken >= WAIT_OBJECT_0 + count) return;
  const auto found = std::find_if(waits_.begin(), waits_.end(), [&](const auto& wait) {
    return wait.first == handles[woken - WAIT_OBJECT_0];
  });
  std::rotate(found, found + 1, waits_.end());
  const std::function<void()> signalled = waits_.back().second;
  signalled();
}

}  // namespace platform
