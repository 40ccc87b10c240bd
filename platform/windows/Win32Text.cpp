#include "platform/windows/Win32Text.h"

namespace platform {
namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;

bool IsPrivateUse(wchar_t c) {
  return c >= 0xE000 && c <= 0xF8FF;
}

// Empty when the bytes are not one whole, valid character of the code page. A single byte that
// Windows maps into the private use area (0xA0 and 0xFD to 0xFF of code page 932) stands for no
// character; a double-byte user-defined character there is one.
std::wstring OneCharacter(UINT codePage, std::string_view bytes) {
  wchar_t text[2];
  const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), text, 2);
  if (length == 0 || (bytes.size() == 1 && IsPrivateUse(text[0]))) return {};
  return std::wstring(text, static_cast<std::size_t>(length));
}

std::wstring SystemText(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (!text) return {};
  std::wstring result = text;
  LocalFree(text);
  return result.substr(0, result.find_last_not_of(L"\r\n ") + 1);
}

// Character by character: each is the shortest run of bytes that the code page takes as one.
std::wstring DecodeCarefully(UINT codePage, std::string_view bytes) {
  CPINFO info{};
  const std::size_t longest = GetCPInfo(codePage, &info) ? info.MaxCharSize : 4;
  std::wstring text;
  for (std::size_t at = 0; at < bytes.size();) {
    std::wstring character;
    std::size_t length = 1;
    for (; length <= longest && at + length <= bytes.size(); ++length) {
      character = OneCharacter(codePage, bytes.substr(at, length));
      if (!character.empty()) break;
    }
    if (character.empty()) {
      text += kReplacementCharacter;
      ++at;
    } else {
      text += character;
      at += length;
    }
  }
  return text;
}

}  // namespace

// Windows' own conversion puts other characters for invalid bytes (code page 932: U+30FB for
// a broken pair, swallowing the byte after it), so it is asked to report them instead.
std::wstring ToUtf16(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (needed == 0) return DecodeCarefully(codePage, bytes);
  std::wstring text(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, text.data(), needed);
  for (const wchar_t c : text) {
    if (IsPrivateUse(c)) return DecodeCarefully(codePage, bytes);
  }
  return text;
}

std::string FromUtf16(UINT codePage, std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

std::string WithCrLf(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\n' && (at == 0 || text[at - 1] != '\r')) result += '\r';
    result += text[at];
  }
  return result;
}

std::string DescribeSystemError(DWORD code) {
  wchar_t hex[16];
  wsprintfW(hex, L"0x%08lX", static_cast<unsigned long>(code));
  const std::wstring text = SystemText(code);
  return FromUtf16(CP_UTF8, text.empty() ? std::wstring(hex) : text + L" (" + hex + L")");
}

}  // namespace platform
