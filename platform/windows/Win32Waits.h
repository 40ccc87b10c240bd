#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

namespace platform {

// Handles that the event loop waits on beside the thread's messages, each with the function to run
// when it is signalled: a pipe's end is read from the loop as a socket is, with no thread and no
// timer. A modal loop (a message box's) waits on messages only: the handles wait until it ends.
class Win32Waits {
 public:
  // The handle stays the caller's; it is waited on until removed.
  void add(HANDLE handle, std::function<void()> signalled);
  void remove(HANDLE handle);
  // Returns once a message is queued, a handle is signalled (its function has then run) or
  // `milliseconds` have passed. A handle that is signalled again and again takes its turn after
  // the others.
  void wait(DWORD milliseconds);

 private:
  std::vector<std::pair<HANDLE, std::function<void()>>> waits_;
};

}  // namespace platform
