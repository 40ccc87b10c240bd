#include <filesystem>
#include <fstream>

#include "platform/win32/Win32Programs.h"
#include "platform/win32/Win32Registry.h"
#include "win32/SelfCheck.h"

SELFCHECK_TEST(AnOrdinaryFileIsThereAndNeitherAFolderNorHidden) {
  platform::Win32Programs programs;
  const auto file = std::filesystem::temp_directory_path() / "velostrander-ordinary.txt";
  std::ofstream(file) << "x";
  CHECK(programs.isOrdinaryFile(file.string()));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN);
  CHECK(!programs.isOrdinaryFile(file.string()));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove(file);
  CHECK(!programs.isOrdinaryFile(file.string()));
  CHECK(!programs.isOrdinaryFile(file.parent_path().string()));
  CHECK(!programs.start(file.string()));
  CHECK(std::filesystem::exists(programs.ownFolder() / "win32_backend_tests.exe"));
}

// A value longer than the buffer is none at all, not its first bytes.
SELFCHECK_TEST(ARegistryValueIsReadWholeOrNotAtAll) {
  platform::Win32Registry registry;
  const auto root = platform::RegistryRoot::LocalMachine;
  const char key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  const auto value = registry.read(root, key, "CurrentVersion", 1024);
  CHECK(value && value->type == REG_SZ && value->data.size() > 1 && value->data.back() == '\0');
  if (!value) return;
  const auto exact = registry.read(root, key, "CurrentVersion", value->data.size());
  CHECK(exact && exact->data == value->data);
  CHECK(!registry.read(root, key, "CurrentVersion", value->data.size() - 1));
  CHECK(!registry.read(root, "SOFTWARE\\Velostrander\\None", "CurrentVersion", 1024));
}
