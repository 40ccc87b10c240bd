// The console's Windows ports: the teacher's folder, the secret and this computer as the system
// has them.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <filesystem>

#include "platform/Paths.h"
#include "platform/Random.h"
#include "platform/ThisComputer.h"
#include "platform/windows/Win32Text.h"
#include "windows/WindowsHarness.h"

namespace {

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
