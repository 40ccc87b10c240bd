#include "platform/linux/PosixCodePage.h"

#include <iconv.h>
#include <langinfo.h>

#include <array>
#include <cerrno>
#include <functional>

namespace platform {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
// What Windows' ANSI conversions put for a character the code page lacks.
constexpr std::string_view kDefaultCharacter = "?";

using SkipInvalid = std::function<std::size_t(std::string_view rest)>;

class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of `input`; each invalid or unconvertible sequence becomes `substitute`.
  std::string run(std::string_view input, std::string_view substitute, const SkipInvalid& skip) {
    std::string output;
    char* in = const_cast<char*>(input.data());  // iconv's signature; it does not write there
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
      const int error = convertSome(&in, &inLeft, output);
      if (error == 0 || error == E2BIG) continue;
      output += substitute;
      const std::size_t skipped = skip(std::string_view(in, inLeft));
      in += skipped;
      inLeft -= skipped;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    convertSome(nullptr, nullptr, output);  // closes an open shift sequence
    return output;
  }

 private:
  // 0 once all of the input is converted, otherwise iconv's reason for stopping.
  int convertSome(char** in, std::size_t* inLeft, std::string& output) {
    std::array<char, 1024> buffer;
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    const bool stopped = iconv(handle_, in, inLeft, &out, &outLeft) == static_cast<std::size_t>(-1);
    const int error = stopped ? errno : 0;
    output.append(buffer.data(), static_cast<std::size_t>(out - buffer.data()));
    return error;
  }

  iconv_t handle_;
};

std::size_t OneByte(std::string_view) {
  return 1;
}

// Steps over one UTF-8 sequence as its lead byte announces it, so one character that the code
// page lacks gives one substitute.
std::size_t OneUtf8Sequence(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest.front());
  std::size_t length = 1;
  if ((lead & 0xE0) == 0xC0) length = 2;
  if ((lead & 0xF0) == 0xE0) length = 3;
  if ((lead & 0xF8) == 0xF0) length = 4;
  std::size_t valid = 1;
  while (valid < length && valid < rest.size() &&
         (static_cast<unsigned char>(rest[valid]) & 0xC0) == 0x80) {
    ++valid;
  }
  return valid;
}

std::string Convert(const std::string& to, const std::string& from, std::string_view input,
                    std::string_view substitute, const SkipInvalid& skip) {
  Converter converter(to, from);
  // Only when the process has run out of descriptors or memory; the reader copes with anything.
  if (!converter.valid()) return std::string(input);
  return converter.run(input, substitute, skip);
}

// Plain ASCII is what the C and POSIX locales give an agent started by a service or with no
// LANG: no file of a Japanese classroom is in it, and UTF-8 reads ASCII the same. glibc's iconv
// knows the charset of every glibc locale; a locale from elsewhere naming one it does not know
// is read as UTF-8 too.
std::string ConvertibleCharset(const std::string& charset) {
  if (charset == "ANSI_X3.4-1968" || charset == "ASCII" || charset == "US-ASCII") return "UTF-8";
  const Converter probe("UTF-8", charset);
  return probe.valid() ? charset : "UTF-8";
}

}  // namespace

PosixCodePage::PosixCodePage() : PosixCodePage(nl_langinfo(CODESET)) {}

PosixCodePage::PosixCodePage(const std::string& charset) : charset_(ConvertibleCharset(charset)) {}

std::string PosixCodePage::toUtf8(std::string_view ansi) const {
  return Convert("UTF-8", charset_, ansi, kReplacementCharacter, OneByte);
}

std::string PosixCodePage::fromUtf8(std::string_view utf8) const {
  return Convert(charset_, "UTF-8", utf8, kDefaultCharacter, OneUtf8Sequence);
}

}  // namespace platform
