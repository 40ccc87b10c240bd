// The backend's ports that need no message loop: the code page, run with code page 932 as on a
// Japanese Windows (the Wine prefix's locale is ja_JP); programs and the registry; files and
// their replacement.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/Paths.h"
#include "platform/windows/Win32CodePage.h"
#include "platform/windows/Win32Files.h"
#include "platform/windows/Win32Programs.h"
#include "platform/windows/Win32Registry.h"
#include "windows/SelfCheck.h"

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
  std::optional<platform::FileWriteFailure> Replace() {
    return platform::Win32Files().replace(target.string(), temporary.string(), "new");
  }
  fs::path path, target = path / "Velostrander_Child.ini", temporary = path / "Temp.tmp";
};

std::string Contents(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

}  // namespace

SELFCHECK_TEST(AReadTellsAFileThatIsNotThereFromOneThatCannotBeOpened) {
  using platform::OpenResult;
  Folder folder("velostrander-read");
  platform::Win32Files files;
  const platform::FileBytes read = files.read(folder.target.string());
  CHECK(read.result == OpenResult::Opened && read.bytes == "old");
  CHECK(files.read(folder.temporary.string()).result == OpenResult::NotFound);
  CHECK(files.read((folder.temporary / "x").string()).result == OpenResult::NotFound);
  CHECK(files.read(folder.path.string()).result == OpenResult::CannotOpen);
}

// A read-only file is the user's choice to keep it as it is.
SELFCHECK_TEST(AReadOnlyTargetIsNotReplacedAndStaysReadOnly) {
  Folder folder("velostrander-replace-read-only");
  SetFileAttributesW(folder.target.c_str(), FILE_ATTRIBUTE_READONLY);
  const auto failure = folder.Replace();
  CHECK(failure && failure->step == Step::Replace && Contents(folder.target) == "old");
  CHECK(GetFileAttributesW(folder.target.c_str()) & FILE_ATTRIBUTE_READONLY);
}

SELFCHECK_TEST(ATargetOpenWithoutSharingItsDeletionFailsTheReplaceAndStaysAsItWas) {
  Folder folder("velostrander-replace-held");
  const HANDLE held =
      CreateFileW(folder.target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  const auto failure = folder.Replace();
  CloseHandle(held);
  CHECK(failure && failure->step == Step::Replace && Contents(folder.target) == "old");
  CHECK(!fs::exists(folder.temporary) || Contents(folder.temporary) == "new");
}

SELFCHECK_TEST(InvalidBytesAndOnlyTheyBecomeReplacementCharacters) {
  CHECK(GetACP() == 932);
  const std::pair<std::string, std::string> cases[] = {
      {"\x82\xa0\x8a\xbf\x8e\x9a PC", "あ漢字 PC"},
      {"\xf0\x40", "\xee\x80\x80"},  // a user-defined character, U+E000
      {"\x81\x7f", "\xef\xbf\xbd\x7f"},
      {"\x81 7", "\xef\xbf\xbd 7"},
      {"\xff"
       "7",
       "\xef\xbf\xbd"
       "7"},
      {"\xa0\xfd", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"ab\x81", "ab\xef\xbf\xbd"},
  };
  const platform::Win32CodePage codePage;
  for (const auto& [ansi, utf8] : cases) CHECK(codePage.toUtf8(ansi) == utf8);
  CHECK(codePage.fromUtf8("あ漢字 PC") == cases[0].first);
}

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
  CHECK(programs.isOrdinaryFile(
      platform::JoinPath(programs.ownFolder(), "windows_backend_tests.exe")));
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
