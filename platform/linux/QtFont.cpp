#include "platform/linux/QtFont.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QStringList>
#include <memory>

#include "platform/linux/QtText.h"

namespace platform {
namespace {

using Pattern = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;

bool WritesJapanese(FcPattern* font) {
  FcLangSet* languages = nullptr;
  return FcPatternGetLangSet(font, FC_LANG, 0, &languages) == FcResultMatch &&
         FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual;
}

bool Proportional(FcPattern* font) {
  int spacing = FC_PROPORTIONAL;
  FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
  return spacing == FC_PROPORTIONAL;
}

// Japanese sans-serif as the desktop's settings rank it, proportional where there is one: the
// faces a window declares are Windows' proportional ones, and its labels are measured for them.
QString JapaneseGothic() {
  const Pattern pattern(FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja")),
                        &FcPatternDestroy);
  if (!pattern) return {};
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> sorted(
      FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result), &FcFontSetDestroy);
  QString fallback;
  for (int i = 0; sorted && i < sorted->nfont; ++i) {
    FcPattern* font = sorted->fonts[i];
    FcChar8* family = nullptr;
    if (!WritesJapanese(font) || FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch) {
      continue;
    }
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(family));
    if (Proportional(font)) return name;
    if (fallback.isEmpty()) fallback = name;
  }
  return fallback;
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
