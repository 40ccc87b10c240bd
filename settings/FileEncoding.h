// How the settings file's bytes carry its text: one rule for every program that reads or writes
// it. The programs write the system's code page; today's editors save UTF-8 (Notepad by default
// since Windows 10), often behind a byte-order mark.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace settings {

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The file's bytes after a leading byte-order mark, which is a mark and not text.
std::string_view WithoutMark(std::string_view file);

// The encoding of a file as found. A mark says UTF-8, and so does a text that is valid UTF-8 and
// not plain ASCII, which a Japanese text in a code page practically never is. Anything else, a
// new file too, is in the system's code page. A writer that converts with it puts back what it
// changes as the file had it, and keeps the mark as found.
class FileEncoding final : public platform::CodePage {
 public:
  FileEncoding(std::string_view file, const platform::CodePage& system);
  std::string_view mark() const { return mark_; }  // empty, or kByteOrderMark
  std::string toUtf8(std::string_view bytes) const override;
  std::string fromUtf8(std::string_view utf8) const override;

 private:
  const platform::CodePage& system_;
  std::string_view mark_;
  bool utf8_;
};

}  // namespace settings
