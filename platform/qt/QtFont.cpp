#include "platform/qt/QtFont.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QStringList>
#include <memory>

#include "platform/qt/QtText.h"

namespace platform {
namespace {

// What fontconfig would draw Japanese sans-serif text with, as the desktop's settings choose it.
QString JapaneseGothic() {
  const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(
      FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja")), &FcPatternDestroy);
  if (!pattern) return {};
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(
      FcFontMatch(nullptr, pattern.get(), &result), &FcPatternDestroy);
  FcChar8* family = nullptr;
  if (!match || FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch) return {};
  return QString::fromUtf8(reinterpret_cast<const char*>(family));
}

}  // namespace

QFont ToQFont(const Font& font) {
  QString face = ToQString(font.face);
  if (!QFontDatabase::families().contains(face)) {
    static const QString gothic = JapaneseGothic();
    face = gothic;
  }
  return QFont(face, font.points > 0 ? font.points : -1);
}

}  // namespace platform
