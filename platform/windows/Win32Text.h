// The behaviour hands over text as UTF-8; Windows takes UTF-16 and its ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform {

// Bytes that are invalid in the code page become a replacement character, never an error.
std::wstring ToUtf16(UINT codePage, std::string_view bytes);
// Characters the code page cannot hold become its default character.
std::string FromUtf16(UINT codePage, std::wstring_view text);

inline std::wstring Utf8ToUtf16(std::string_view utf8) {
  return ToUtf16(CP_UTF8, utf8);
}

// A multi-line edit control breaks lines only at CR LF.
std::string WithCrLf(std::string_view text);

// The system's own words for an error or HRESULT, and the code in hexadecimal, as Windows users
// look it up; UTF-8.
std::string DescribeSystemError(DWORD code);

}  // namespace platform
