// A test runner small enough to need nothing but the standard library, for test programs that
// run under Wine, where no Windows build of a test framework is at hand. Prints one line per
// test and "N passed, M failed"; the program's exit code is non-zero on any failure.
#pragma once

#include <windows.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace selfcheck {

using TestFunction = void (*)();
// Constant-initialised, so filled by the tests' registrations whatever their order.
constinit inline std::vector<std::pair<const char*, TestFunction>> tests;
constinit inline int failedChecks = 0;

struct Registration {
  Registration(const char* name, TestFunction test) { tests.emplace_back(name, test); }
};

inline void Check(bool ok, const char* what, const char* file, int line) {
  if (ok) return;
  ++failedChecks;
  std::printf("  %s:%d: CHECK(%s) failed\n", file, line, what);
}

inline int RunAll() {
  int failed = 0;
  for (const auto& [name, test] : tests) {
    const int before = failedChecks;
    test();
    failed += failedChecks == before ? 0 : 1;
    std::printf("%s %s\n", failedChecks == before ? "PASS" : "FAIL", name);
  }
  std::printf("%d passed, %d failed\n", static_cast<int>(tests.size()) - failed, failed);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}

}  // namespace selfcheck

#define CHECK(condition) ::selfcheck::Check((condition), #condition, __FILE__, __LINE__)
#define SELFCHECK_TEST(name)                                               \
  static void name();                                                      \
  static const ::selfcheck::Registration name##Registration(#name, &name); \
  static void name()
