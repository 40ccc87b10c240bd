#include "platform/windows/Win32Files.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

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

  // One rename, which leaves the old file or the new one whatever stops the program: ReplaceFileW
  // is no such step everywhere (Wine's deletes the old file before it moves the new one in). A
  // read-only file stays as it is, as Windows' rename leaves it and Wine's would not.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool readOnly =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (!readOnly && MoveFileExW(temporary.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return std::nullopt;
  }
  const DWORD error = readOnly ? ERROR_ACCESS_DENIED : GetLastError();
  DeleteFileW(temporary.c_str());
  return Failed(Step::Replace, error);
}

}  // namespace platform
