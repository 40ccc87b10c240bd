#include <chrono>
#include <vector>

#include "platform/win32/Win32Scheduler.h"
#include "win32/SelfCheck.h"
#include "win32/Win32Harness.h"

namespace {

using namespace std::chrono_literals;
using harness::PumpUntil;
using win32test::TheBackend;

}  // namespace

SELFCHECK_TEST(TasksRunLaterFromTheEventLoopInOrderOfTheirTime) {
  platform::Win32Scheduler scheduler(TheBackend().window);
  std::vector<int> ran;
  scheduler.runLater(80ms, [&] { ran.push_back(2); });
  scheduler.runLater(0ms, [&] { ran.push_back(1); });
  CHECK(ran.empty());
  CHECK(PumpUntil([&] { return ran.size() == 2; }));
  CHECK((ran == std::vector<int>{1, 2}));
}

SELFCHECK_TEST(ATaskRunsOnceAndMayScheduleTheNext) {
  platform::Win32Scheduler scheduler(TheBackend().window);
  int runs = 0;
  std::function<void()> step = [&] {
    if (++runs < 5) scheduler.runLater(1ms, step);
  };
  scheduler.runLater(1ms, step);
  CHECK(PumpUntil([&] { return runs == 5; }));
  bool later = false;
  scheduler.runLater(1ms, [&] { runs += 100; });
  scheduler.runLater(60ms, [&] { later = true; });
  CHECK(PumpUntil([&] { return later; }));
  CHECK(runs == 105);
}

SELFCHECK_TEST(ATaskStillDueWhenTheSchedulerGoesNeverRuns) {
  bool ran = false;
  {
    platform::Win32Scheduler scheduler(TheBackend().window);
    scheduler.runLater(1ms, [&] { ran = true; });
  }
  platform::Win32Scheduler later(TheBackend().window);
  bool laterRan = false;
  later.runLater(40ms, [&] { laterRan = true; });
  CHECK(PumpUntil([&] { return laterRan; }));
  CHECK(!ran);
}
