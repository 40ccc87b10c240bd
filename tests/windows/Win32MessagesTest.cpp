// What reaches the backend through its message window: its timers, a socket's events, and the
// restarted task bar's broadcast.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/windows/Win32Scheduler.h"
#include "platform/windows/Win32Tray.h"
#include "windows/WindowsHarness.h"

namespace {

using namespace std::chrono_literals;
using harness::PumpUntil;
using win32test::TheBackend;

int FailWith(int error) {
  WSASetLastError(error);
  return SOCKET_ERROR;
}

std::vector<std::pair<DWORD, NOTIFYICONDATAA>> calls;  // to the shell

BOOL WINAPI Record(DWORD message, PNOTIFYICONDATAA data) {
  calls.emplace_back(message, *data);
  return TRUE;
}

// Broadcasts the restarted task bar's message, then handles what it posted to this thread.
void RestartTaskBar() {
  platform::Win32MessageWindow& messages = TheBackend().window;
  const UINT marker = messages.newMessage();
  bool reached = false;
  messages.setHandler(marker, [&](WPARAM, LPARAM) { reached = true; });
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  PostMessageW(messages.hwnd(), marker, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return reached; }));
  messages.removeHandler(marker);
}

}  // namespace

TEST(Win32Scheduler, TasksRunOnceFromTheEventLoopInOrderOfTheirTimeAndMayScheduleTheNext) {
  platform::Win32Scheduler scheduler(TheBackend().window);
  std::vector<int> ran;
  scheduler.runLater(80ms, [&] { ran.push_back(2); });
  scheduler.runLater(0ms, [&] { ran.push_back(1); });
  EXPECT_TRUE(ran.empty());
  EXPECT_TRUE(PumpUntil([&] { return ran.size() == 2; }));
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  int runs = 0;
  std::function<void()> step = [&] {
    if (++runs < 5) scheduler.runLater(1ms, step);
  };
  scheduler.runLater(1ms, step);
  EXPECT_TRUE(PumpUntil([&] { return runs == 5; }));
  bool later = false;
  scheduler.runLater(1ms, [&] { runs += 100; });
  scheduler.runLater(60ms, [&] { later = true; });
  EXPECT_TRUE(PumpUntil([&] { return later; }));
  EXPECT_TRUE(runs == 105 && ran.size() == 2);
}

TEST(Win32Scheduler, ATaskStillDueWhenTheSchedulerGoesNeverRuns) {
  bool ran = false;
  {
    platform::Win32Scheduler scheduler(TheBackend().window);
    scheduler.runLater(1ms, [&] { ran = true; });
  }
  platform::Win32Scheduler later(TheBackend().window);
  bool laterRan = false;
  later.runLater(40ms, [&] { laterRan = true; });
  EXPECT_TRUE(PumpUntil([&] { return laterRan; }));
  EXPECT_FALSE(ran);
}

// Two handles that stay signalled take turns, one that removes itself is not waited on again,
// and the messages are handled beside them: the last one ends the loop.
TEST(Win32Desktop, TheEventLoopRunsSignalledHandlesInTurnBesideItsMessages) {
  platform::Win32MessageWindow& messages = TheBackend().window;
  platform::Win32Waits& waits = TheBackend().desktop.waits();
  const HANDLE first = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  const HANDLE second = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  std::string runs;
  const UINT quit = messages.newMessage();
  messages.setHandler(quit, [](WPARAM, LPARAM) { PostQuitMessage(0); });
  waits.add(first, [&] {
    runs += '1';
    if (runs.size() == 6) PostMessageW(messages.hwnd(), quit, 0, 0);
  });
  waits.add(second, [&] {
    runs += '2';
    if (runs.size() == 4) waits.remove(second);
  });
  TheBackend().desktop.runEventLoop();
  waits.remove(first);
  messages.removeHandler(quit);
  CloseHandle(first);
  CloseHandle(second);
  EXPECT_EQ(runs, "121211");
}

// Wine never reports a refused datagram, so the refusal is injected where recvfrom reports it:
// with the destination it names, or none.
TEST(Win32UdpEndpoint, AConnectionResetIsARefusalByTheDestinationAndOtherErrorsFailures) {
  using platform::Peer;
  const std::tuple<platform::ReceiveFunction, platform::ReadResult, std::optional<Peer>> cases[] = {
      {[](SOCKET, char*, int, sockaddr_in& from) {
         from.sin_family = AF_INET;
         from.sin_port = htons(5000);
         from.sin_addr.s_addr = htonl(0x7F000001);
         return FailWith(WSAECONNRESET);
       },
       platform::ReadResult::RefusedByDestination, Peer{0x7F000001, 5000}},
      {[](SOCKET, char*, int, sockaddr_in&) { return FailWith(WSAECONNRESET); },
       platform::ReadResult::RefusedByDestination, std::nullopt},
      {[](SOCKET, char*, int, sockaddr_in&) { return FailWith(WSAENETRESET); },
       platform::ReadResult::Failed, std::nullopt},
  };
  for (const auto& [receive, result, peer] : cases) {
    std::unique_ptr<platform::Win32UdpEndpoint> endpoint;
    std::vector<platform::Arrival> arrivals;
    endpoint = std::make_unique<platform::Win32UdpEndpoint>(
        TheBackend().window, [&] { arrivals.push_back(endpoint->read()); }, receive);
    const std::uint16_t port = harness::UnusedPort();
    EXPECT_EQ(endpoint->bind(port), platform::BindResult::Bound);
    harness::Send(port, {"raises the arrival event"});
    EXPECT_TRUE(PumpUntil([&] { return !arrivals.empty(); }));
    EXPECT_TRUE(arrivals.size() == 1 && arrivals[0].result == result && arrivals[0].bytes.empty() &&
                arrivals[0].peer == peer);
  }
}

TEST(Win32Tray, TheTrayIconIsTheShellsFirstAnsiRecordAndComesBackWithTheTaskBar) {
  const auto window = TheBackend().desktop.createWindow({});
  platform::Win32Tray tray(GetModuleHandleW(nullptr), &Record);
  tray.add(*window, {1, 7, 512, "Velostrander_Child"});
  ASSERT_TRUE(calls.size() == 1 && calls[0].first == NIM_ADD);
  const NOTIFYICONDATAA added = calls[0].second;
  EXPECT_TRUE(added.cbSize == NOTIFYICONDATAA_V1_SIZE && added.uID == 1 && added.uFlags == 7 &&
              added.uCallbackMessage == 512);
  EXPECT_EQ(added.hWnd, static_cast<platform::Win32Window&>(*window).frame());
  EXPECT_EQ(std::string(added.szTip, 64),
            std::string("Velostrander_Child", 19) + std::string(45, ' '));

  RestartTaskBar();
  EXPECT_TRUE(calls.size() == 2 && calls[1].first == NIM_ADD &&
              std::memcmp(&calls[1].second, &added, NOTIFYICONDATAA_V1_SIZE) == 0);
  tray.remove({1, 0, 0, {}});
  EXPECT_TRUE(calls.size() == 3 && calls[2].first == NIM_DELETE &&
              calls[2].second.hWnd == added.hWnd && calls[2].second.uID == 1);
  RestartTaskBar();
  EXPECT_EQ(calls.size(), 3u);
}
