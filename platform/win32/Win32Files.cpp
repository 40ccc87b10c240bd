#include "platform/win32/Win32Files.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/Win32Text.h"

namespace platform {
namespace {

// No flag: ReplaceFileW's default fails rather than drop the target's attributes, ACLs and
// streams, where REPLACEFILE_IGNORE_MERGE_ERRORS or REPLACEFILE_IGNORE_ACL_ERRORS would let it
// succeed without them.
constexpr DWORD kKeepAllOfTheTarget = 0;

constexpr DWORD kLargestWrite = 1u << 30;

FileWriteFailure Failed(FileWriteFailure::Step step, DWORD error) {
  return {step, DescribeSystemError(error)};
}

// Leaves no partial temporary file behind; the error is the one that stopped the write.
FileWriteFailure Abandon(HANDLE file, const std::filesystem::path& temporary,
                         FileWriteFailure::Step step) {
  const DWORD error = GetLastError();
  CloseHandle(file);
  DeleteFileW(temporary.c_str());
  return Failed(step, error);
}

// Wine's ReplaceFileW fails on a bare file name (ERROR_DIRECTORY), as the program gives them.
std::filesystem::path Full(const std::filesystem::path& file) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(file, error);
  return error ? file : full;
}

bool IsGone(const std::filesystem::path& file) {
  return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

std::optional<FileWriteFailure> Win32Files::replace(const std::filesystem::path& target,
                                                    const std::filesystem::path& temporary,
                                                    std::string_view bytes) {
  using Step = FileWriteFailure::Step;
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
