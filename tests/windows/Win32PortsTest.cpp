// The backend's ports beyond the contracts: what Windows adds to files and their replacement, and
// what the replacement keeps of them; programs and the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "contract/Harness.h"
#include "platform/Paths.h"
#include "platform/windows/Win32Programs.h"
#include "platform/windows/Win32Registry.h"

namespace {

namespace fs = std::filesystem;
using Win32Files = harness::FilesTest;
using Step = platform::FileWriteFailure::Step;

// A file held open without sharing its deletion cannot be replaced; the new bytes are left in
// the temporary file or gone.
TEST_F(Win32Files, ATargetHeldOpenIsNotReplacedAndStaysAsItWas) {
  const HANDLE holder =
      CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  const auto failure = Replace(target);
  CloseHandle(holder);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->step, Step::Replace);
  EXPECT_EQ(Read(target), "old");
  EXPECT_TRUE(!fs::exists(temporary) || Read(temporary) == "new");
}

// Its access list (as much of it as Wine keeps, in the file's mode: no one else may read it here)
// and its hidden and system attributes, which a rename of a new file over it would drop. A
// temporary file left from before, longer, decides nothing.
TEST_F(Win32Files, TheTargetKeepsItsAccessListAndAttributesAndAFileLeftFromBeforeGoes) {
  const auto accessList = [](const fs::path& file) {
    std::string security(4096, '\0');
    DWORD size = 0;
    GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, security.data(), 4096, &size);
    return security.substr(0, size);
  };
  PSECURITY_DESCRIPTOR ownersOnly = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)",
                                                       SDDL_REVISION_1, &ownersOnly, nullptr);
  SetFileSecurityW(target.c_str(), DACL_SECURITY_INFORMATION, ownersOnly);
  SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const std::string kept = accessList(target);
  dir.Write("Temp.tmp", "left from before");
  EXPECT_FALSE(Replace(target));
  EXPECT_EQ(Read(target), "new");
  EXPECT_FALSE(fs::exists(temporary));
  EXPECT_EQ(accessList(target), kept);
  EXPECT_EQ(GetFileAttributesW(target.c_str()),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
}

TEST(Win32Programs, AnOrdinaryFileIsThereAndNeitherAFolderNorHidden) {
  platform::Win32Programs programs;
  const auto file = fs::temp_directory_path() / "velostrander-ordinary.txt";
  std::ofstream(file) << "x";
  EXPECT_TRUE(programs.isOrdinaryFile(file.string()));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(programs.isOrdinaryFile(file.string()));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove(file);
  EXPECT_FALSE(programs.isOrdinaryFile(file.string()));
  EXPECT_FALSE(programs.isOrdinaryFile(file.parent_path().string()));
  EXPECT_FALSE(programs.start(file.string()));
  EXPECT_TRUE(programs.isOrdinaryFile(
      platform::JoinPath(programs.ownFolder(), "windows_backend_tests.exe")));
}

// A value longer than the buffer is none at all, not its first bytes.
TEST(Win32Registry, AValueIsReadWholeOrNotAtAll) {
  platform::Win32Registry registry;
  const auto root = platform::RegistryRoot::LocalMachine;
  const char key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  const auto value = registry.read(root, key, "CurrentVersion", 1024);
  ASSERT_TRUE(value && value->type == REG_SZ && value->data.size() > 1);
  EXPECT_EQ(value->data.back(), '\0');
  const auto exact = registry.read(root, key, "CurrentVersion", value->data.size());
  EXPECT_TRUE(exact && exact->data == value->data);
  EXPECT_FALSE(registry.read(root, key, "CurrentVersion", value->data.size() - 1));
  EXPECT_FALSE(registry.read(root, "SOFTWARE\\Velostrander\\None", "CurrentVersion", 1024));
}

}  // namespace
