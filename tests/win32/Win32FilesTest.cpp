#include <fstream>
#include <iterator>

#include "platform/win32/Win32Files.h"
#include "win32/SelfCheck.h"

namespace {

namespace fs = std::filesystem;
using Step = platform::FileWriteFailure::Step;

// A folder of its own per test, holding the target with "old" in it.
struct Folder {
  explicit Folder(const char* name) : path(fs::temp_directory_path() / name) {
    fs::create_directories(path);
    std::ofstream(target, std::ios::binary) << "old";
  }
  ~Folder() {
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path, target = path / "Velostrander_Child.ini", temporary = path / "Temp.tmp";
};

std::string Contents(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

}  // namespace

// The tool names both files by themselves, in its current folder.
SELFCHECK_TEST(AReplaceWritesTheNewBytesInTheTargetsPlaceAlsoWhereTheTargetHasGone) {
  Folder folder("velostrander-replace");
  const fs::path before = fs::current_path();
  fs::current_path(folder.path);
  platform::Win32Files files;
  CHECK(!files.replace("Velostrander_Child.ini", "Temp.tmp", "new"));
  CHECK(Contents(folder.target) == "new" && !fs::exists(folder.temporary));
  fs::remove(folder.target);
  CHECK(!files.replace("Velostrander_Child.ini", "Temp.tmp", "anew"));
  CHECK(Contents(folder.target) == "anew" && !fs::exists(folder.temporary));
  fs::current_path(before);
}

// ReplaceFileW wants write access to the target.
SELFCHECK_TEST(AReadOnlyTargetIsNotReplacedAndStaysReadOnly) {
  Folder folder("velostrander-replace-read-only");
  SetFileAttributesW(folder.target.c_str(), FILE_ATTRIBUTE_READONLY);
  const auto failure = platform::Win32Files().replace(folder.target, folder.temporary, "new");
  CHECK(failure && failure->step == Step::Replace && Contents(folder.target) == "old");
  CHECK(GetFileAttributesW(folder.target.c_str()) & FILE_ATTRIBUTE_READONLY);
}

SELFCHECK_TEST(AFolderInTheTemporaryFilesPlaceFailsTheCreateInTheSystemsWords) {
  Folder folder("velostrander-replace-create");
  fs::create_directory(folder.temporary);
  const auto failure = platform::Win32Files().replace(folder.target, folder.temporary, "new");
  CHECK(failure && failure->step == Step::Create &&
        failure->reason.find(" (0x") != std::string::npos);
  CHECK(Contents(folder.target) == "old" && fs::is_directory(folder.temporary));
}

SELFCHECK_TEST(ATargetOpenWithoutSharingItsDeletionFailsTheReplaceAndStaysAsItWas) {
  Folder folder("velostrander-replace-held");
  const HANDLE held =
      CreateFileW(folder.target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  const auto failure = platform::Win32Files().replace(folder.target, folder.temporary, "new");
  CloseHandle(held);
  CHECK(failure && failure->step == Step::Replace && Contents(folder.target) == "old");
  CHECK(!fs::exists(folder.temporary) || Contents(folder.temporary) == "new");
}
