#include "win32/SelfCheck.h"
#include "win32/Win32Harness.h"

int main() {
  win32test::TheBackend();  // Winsock, before the first socket
  return selfcheck::RunAll();
}
