#include "settings/FileEncoding.h"

#include <algorithm>

#include "common/Text.h"

namespace settings {
namespace {

// Each malformed byte comes back as three: a text that comes back the same was valid.
std::string Sanitised(std::string_view bytes) {
  return common::ToUtf8(common::ToChars(bytes));
}

bool IsAscii(std::string_view bytes) {
  return std::ranges::all_of(bytes, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string_view WithoutMark(std::string_view file) {
  return file.starts_with(kByteOrderMark) ? file.substr(kByteOrderMark.size()) : file;
}

FileEncoding::FileEncoding(std::string_view file, const platform::CodePage& system)
    : system_(system), mark_(file.starts_with(kByteOrderMark) ? kByteOrderMark : "") {
  const std::string_view body = WithoutMark(file);
  utf8_ = !mark_.empty() || (!IsAscii(body) && Sanitised(body) == body);
}

std::string FileEncoding::toUtf8(std::string_view bytes) const {
  return utf8_ ? Sanitised(bytes) : system_.toUtf8(bytes);
}

std::string FileEncoding::fromUtf8(std::string_view utf8) const {
  return utf8_ ? std::string(utf8) : system_.fromUtf8(utf8);
}

}  // namespace settings
