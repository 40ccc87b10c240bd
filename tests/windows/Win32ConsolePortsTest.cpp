// The console's Windows ports on real Winsock and the real message loop: calls received and the
// call port moved; the teacher's folder, the secret and this computer as the system has them.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/ThisComputer.h"
#include "platform/windows/Win32DatagramPort.h"
#include "platform/windows/Win32Text.h"
#include "windows/WindowsHarness.h"

namespace {

struct Win32DatagramPortTest : ::testing::Test {
  // Listens on an unused port; the port, or 0.
  std::uint16_t listenAnew(platform::Win32DatagramPort& on) {
    const std::uint16_t port = harness::UnusedPort();
    return on.listen(port, [this](const platform::ReceivedDatagram& d) { heard.push_back(d); })
                   .empty()
               ? port
               : 0;
  }
  bool hears(std::uint16_t port, const std::string& text) {
    harness::Send(port, {text});
    return harness::PumpUntil([&] { return !heard.empty() && heard.back().bytes == text; });
  }

  platform::Win32DatagramPort receiver{win32test::TheBackend().window};
  std::vector<platform::ReceivedDatagram> heard;
};

// The new port is bound before the old one goes; one that cannot be bound leaves the old one.
TEST_F(Win32DatagramPortTest, ReceivesOnTheUiThreadAndMovesOnlyToAPortItCanBind) {
  const std::uint16_t first = listenAnew(receiver);
  ASSERT_NE(first, 0);
  EXPECT_TRUE(hears(first, "07Call"));
  EXPECT_EQ(heard.back().address, 0x7F000001u);
  platform::Win32DatagramPort other(win32test::TheBackend().window);
  const std::uint16_t taken = listenAnew(other);
  EXPECT_NE(receiver.listen(taken, nullptr), "");
  EXPECT_TRUE(hears(first, "08Call"));
  const std::uint16_t second = listenAnew(receiver);
  ASSERT_NE(second, 0);
  EXPECT_TRUE(hears(second, "09Call"));
  EXPECT_EQ(platform::Win32DatagramPort(win32test::TheBackend().window).listen(first, nullptr), "");
}

TEST(Win32ConsolePorts, FolderSecretAndComputerAsTheSystemHasThem) {
  std::wstring appData(MAX_PATH, L'\0');
  appData.resize(GetEnvironmentVariableW(L"APPDATA", appData.data(), MAX_PATH));
  const std::string folder = platform::UserSettingsFolder();
  EXPECT_EQ(folder, platform::FromUtf16(CP_UTF8, appData) + "\\Velostrander");
  EXPECT_TRUE(std::filesystem::is_directory(platform::Utf8ToUtf16(folder)));
  EXPECT_EQ(platform::RandomBytes(32).size(), 32u);
  EXPECT_NE(platform::RandomBytes(32), platform::RandomBytes(32));
  const platform::ThisComputer computer = platform::DescribeThisComputer();
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  EXPECT_TRUE(std::equal(computer.name.begin(), computer.name.end(), name, name + strlen(name),
                         [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
      << computer.name << " " << name;
  for (const std::uint32_t address : computer.addresses) {
    EXPECT_NE(address >> 24, 127u);
    EXPECT_EQ(std::ranges::count(computer.addresses, address), 1);
  }
}

}  // namespace
