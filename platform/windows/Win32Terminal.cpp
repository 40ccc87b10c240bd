#include "platform/windows/Win32Terminal.h"

#include <windows.h>

#include <optional>

namespace platform {
namespace {

// Linked without the desktop programs' text helpers, which would bring user32 in.
std::wstring Widened(std::string_view ansi) {
  const int ansiSize = static_cast<int>(ansi.size());
  const int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansiSize, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansiSize, wide.data(), size);
  return wide;
}

std::optional<std::string> Narrowed(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  // The UTF-8 code page can carry every character but refuses the substitution check.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL substituted = FALSE;
  BOOL* const check = utf8 ? nullptr : &substituted;
  const int wideSize = static_cast<int>(wide.size());
  const int size =
      WideCharToMultiByte(CP_ACP, flags, wide.data(), wideSize, nullptr, 0, nullptr, check);
  if (size == 0 || substituted) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), wideSize, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

}  // namespace

// A console shows UTF-16 whatever its own code page.
bool WriteToConsole(Stream stream, std::string_view line) {
  const HANDLE handle = GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return false;
  const std::wstring wide = Widened(line) + L"\n";
  DWORD written = 0;
  return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) !=
         0;
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_s(&local, &time);
  return local;
}

AnsiArguments ToAnsiArguments(int argc, wchar_t** argv) {
  AnsiArguments result;
  for (int index = 1; index < argc; ++index) {
    std::optional<std::string> narrow = Narrowed(argv[index]);
    if (!narrow) {
      result.error = "argument " + std::to_string(index) +
                     " has characters that the system's code page cannot carry";
      return result;
    }
    result.arguments.push_back(std::move(*narrow));
  }
  return result;
}

}  // namespace platform
