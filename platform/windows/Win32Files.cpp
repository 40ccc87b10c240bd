#include "platform/windows/Win32Files.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

constexpr DWORD kLargestWrite = 1u << 30;
constexpr DWORD kReadChunk = 1u << 16;

using Step = FileWriteFailure::Step;

FileWriteFailure Failed(Step step, DWORD error) {
  return {step, DescribeSystemError(error)};
}

// The temporary file, open and held; or why not: a refusal, or the system's error.
struct Claim {
  HANDLE file = INVALID_HANDLE_VALUE;
  std::optional<Step> refusal;
  DWORD error = 0;
};

// The path by which the system reaches what is open, every link on the way followed.
std::wstring FinalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const auto size = static_cast<DWORD>(path.size());
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), size, 0);
    path.resize(length);
    if (length < size) return path;
  }
}

// Whether the open file is the one that `name` names, and not one that a link there leads to:
// Wine opens a Unix link's target whatever the open asks, and names it so.
bool Names(const std::wstring& name, HANDLE file) {
  std::wstring full(MAX_PATH, L'\0');
  wchar_t* part = nullptr;
  full.resize(GetFullPathNameW(name.c_str(), MAX_PATH, full.data(), &part));
  if (full.empty() || full.size() >= MAX_PATH || !part) return false;
  const std::wstring folderName(full.data(), part);
  const HANDLE folder = CreateFileW(folderName.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  std::wstring expected = FinalPath(folder);
  CloseHandle(folder);
  expected += (expected.ends_with(L'\\') ? L"" : L"\\") + std::wstring(part);
  const std::wstring opened = FinalPath(file);
  return CompareStringOrdinal(opened.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Removes a file left behind, but never a link or a reparse point (nor what it leads to), nor a
// file that another save holds: its own open shares it with no one.
Claim RemoveLeftBehind(const std::wstring& name) {
  const HANDLE file = CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) return {INVALID_HANDLE_VALUE, Step::Held, 0};
    return {INVALID_HANDLE_VALUE, {}, error == ERROR_FILE_NOT_FOUND ? 0 : error};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_DISPOSITION_INFO removal{TRUE};
  Claim result;
  if (!GetFileInformationByHandle(file, &info)) {
    result.error = GetLastError();
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
             info.nNumberOfLinks > 1 || !Names(name, file)) {
    result.refusal = Step::Linked;
  } else if (!SetFileInformationByHandle(file, FileDispositionInfo, &removal, sizeof removal)) {
    result.error = GetLastError();
  }
  CloseHandle(file);
  return result;
}

// Made anew and held from the start, shared with no one but a rename: a file that stands there
// again after one was removed is another save's, made since. The open does not follow a link.
Claim ClaimTemporary(const std::wstring& name) {
  for (bool first = true;; first = false) {
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_WRITE | DELETE | WRITE_DAC, FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) return {file, {}, 0};
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return {INVALID_HANDLE_VALUE, {}, error};
    }
    if (!first) return {INVALID_HANDLE_VALUE, Step::Held, 0};
    const Claim removed = RemoveLeftBehind(name);
    if (removed.refusal || removed.error != 0) return removed;
  }
}

// What the settings file has of its own beyond its bytes, as ReplaceFileW would keep it (Wine's
// does not, and moves the new file in only after it has deleted the old one): its access list,
// and its hidden and system attributes; the archive attribute says that it changed. A target
// that is not there has nothing to keep; 0 or the error that kept it from being kept.
DWORD KeepOwnOf(const std::wstring& target, HANDLE file) {
  constexpr SECURITY_INFORMATION kAccessList = DACL_SECURITY_INFORMATION;
  constexpr DWORD kKept =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const HANDLE old = CreateFileW(target.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (old == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
  }
  DWORD size = 0;
  GetKernelObjectSecurity(old, kAccessList, nullptr, 0, &size);
  std::vector<char> security(size);
  BY_HANDLE_FILE_INFORMATION info{};
  bool kept = GetKernelObjectSecurity(old, kAccessList, security.data(), size, &size) &&
              SetKernelObjectSecurity(file, kAccessList, security.data()) &&
              GetFileInformationByHandle(old, &info);
  if (kept) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = (info.dwFileAttributes & kKept) | FILE_ATTRIBUTE_ARCHIVE;
    kept = SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
  }
  const DWORD error = kept ? 0 : GetLastError();
  CloseHandle(old);
  return error;
}

// Leaves nothing of its own behind; the error is the one that stopped the save.
FileWriteFailure Abandon(HANDLE file, Step step, DWORD error = GetLastError()) {
  FILE_DISPOSITION_INFO removal{TRUE};
  SetFileInformationByHandle(file, FileDispositionInfo, &removal, sizeof removal);
  CloseHandle(file);
  return Failed(step, error);
}

}  // namespace

// Others may go on reading and writing it meanwhile, as with the C runtime's fopen.
FileBytes Win32Files::read(const std::string& path) {
  const HANDLE file =
      CreateFileW(Utf8ToUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {absent ? OpenResult::NotFound : OpenResult::CannotOpen, {}};
  }
  std::string bytes;
  DWORD got = 0;
  bool failed = false;
  do {
    const std::size_t had = bytes.size();
    bytes.resize(had + kReadChunk);
    failed = !ReadFile(file, bytes.data() + had, kReadChunk, &got, nullptr);
    bytes.resize(had + got);
  } while (!failed && got != 0);
  CloseHandle(file);
  if (failed) return {OpenResult::CannotOpen, {}};
  return {OpenResult::Opened, std::move(bytes)};
}

std::optional<FileWriteFailure> Win32Files::replace(const std::string& targetPath,
                                                    const std::string& temporaryPath,
                                                    std::string_view bytes) {
  const std::wstring target = Utf8ToUtf16(targetPath);
  const std::wstring temporary = Utf8ToUtf16(temporaryPath);
  const Claim claim = ClaimTemporary(temporary);
  if (claim.file == INVALID_HANDLE_VALUE) {
    return claim.refusal ? FileWriteFailure{*claim.refusal, {}} : Failed(Step::Create, claim.error);
  }
  const HANDLE file = claim.file;
  if (const DWORD error = KeepOwnOf(target, file)) return Abandon(file, Step::Create, error);
  for (std::string_view rest = bytes; !rest.empty();) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), kLargestWrite));
    if (!WriteFile(file, rest.data(), chunk, &written, nullptr)) return Abandon(file, Step::Write);
    rest.remove_prefix(written);
  }
  if (!FlushFileBuffers(file)) return Abandon(file, Step::Flush);

  // One rename, which leaves the old file or the new one whatever stops the program, made while
  // the file is still held. A read-only file stays as it is, as Windows' rename leaves it and
  // Wine's would not.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Abandon(file, Step::Replace, ERROR_ACCESS_DENIED);
  }
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Abandon(file, Step::Replace);
  }
  CloseHandle(file);
  return std::nullopt;
}

}  // namespace platform
