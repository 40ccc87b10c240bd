#include "platform/win32/Win32Files.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/win32/Win32Text.h"

namespace platform {
namespace {

// No flag: ReplaceFileW's default fails rather than drop the target's attributes, ACLs and
// streams, where REPLACEFILE_IGNORE_MERGE_ERRORS or REPLACEFILE_IGNORE_ACL_ERRORS would let it
// succeed without them.
constexpr DWORD kKeepAllOfTheTarget = 0;

constexpr DWORD kLargestWrite = 1u << 30;
constexpr DWORD kReadChunk = 1u << 16;

FileWriteFailure Failed(FileWriteFailure::Step step, DWORD error) {
  return {step, DescribeSystemError(error)};
}

// Leaves no partial temporary file behind; the error is the one that stopped the write.
FileWriteFailure Abandon(HANDLE file, const std::wstring& temporary, FileWriteFailure::Step step) {
  const DWORD error = GetLastError();
  CloseHandle(file);
  DeleteFileW(temporary.c_str());
  return Failed(step, error);
}

// Wine's ReplaceFileW fails on a bare file name (ERROR_DIRECTORY), as the program gives them.
std::wstring Full(const std::wstring& file) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return file;
    // Too small a buffer is told the length it needs, counting the terminator.
    if (length < full.size()) return full.substr(0, length);
    full.resize(length);
  }
}

bool IsGone(const std::wstring& file) {
  return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetLastError() == ERROR_FILE_NOT_FOUND;
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
  using Step = FileWriteFailure::Step;
  const std::wstring target = Utf8ToUtf16(targetPath);
  const std::wstring temporary = Utf8ToUtf16(temporaryPath);
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(Step::Create, GetLastError());
  for (std::string_view rest = bytes; !rest.empty();) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), kLargestWrite));
    if (!WriteFile(file, rest.data(), chunk, &written, nullptr)) {
      return Abandon(file, temporary, Step::Write);
    }
    rest.remove_prefix(written);
  }
  if (!FlushFileBuffers(file)) return Abandon(file, temporary, Step::Flush);
  CloseHandle(file);

  if (ReplaceFileW(Full(target).c_str(), Full(temporary).c_str(), nullptr, kKeepAllOfTheTarget,
                   nullptr, nullptr)) {
    return std::nullopt;
  }
  const DWORD error = GetLastError();
  if (!IsGone(target)) {
    DeleteFileW(temporary.c_str());
    return Failed(Step::Replace, error);
  }
  // A target that has gone (before the call, or inside it, as ERROR_UNABLE_TO_MOVE_REPLACEMENT
  // leaves it) is named again in one move. Should that fail, the temporary file stays: it is then
  // the only copy of the settings.
  if (MoveFileExW(temporary.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return std::nullopt;
  }
  return Failed(Step::Replace, GetLastError());
}

}  // namespace platform
