#pragma once
// The ANSI and OEM code pages of the system, derived from the locale, and the start language
// they select.
#include <QString>

#include <string>
#include <string_view>

namespace zadari {

struct TCodePages {
    int ansi = 1252;
    int oem = 437;
};

/// The code pages of a locale name such as "zh_CN.UTF-8" or "fr_CA@euro": zh_CN and zh_SG 936,
/// zh_TW and zh_HK 950, ja 932, ru 1251 with OEM 866, fr_CA 1252 with OEM 863, else 1252/437.
TCodePages CodePagesFromLocale(std::string_view locale);

/// The code pages of this process's locale (LC_ALL, else LC_CTYPE, else LANG).
TCodePages SystemCodePages();

/// The iconv name of a code page ("CP936"); "CP1252" for one we do not know.
const char* IconvNameOfCodePage(int codePage);

/// A device's text bytes for display: valid UTF-8 as UTF-8, any other bytes in the ANSI code
/// page of the locale.
QString DecodeAnsiOrUtf8(std::string_view bytes);

/// Text the user edited, as bytes for a device whose own text was `original`: UTF-8 when the
/// original was UTF-8 with non-ASCII characters, else the ANSI code page of the locale, and
/// UTF-8 when the ANSI code page has no counterpart for a character.
std::string EncodeAnsiOrUtf8(const QString& text, std::string_view original);

/// The language an OEM code page selects: 936 "cn", 950 "b5", 932 "jp", 863 "fr", 1144 "Ita",
/// 1145 "spa", any other "en".
QString LanguageFromCodePage(int oemCodePage);

/// The language to start in: a saved code as it is; without one, LanguageFromCodePage when
/// that language has a file, else "en".
QString StartLanguage(const QString& savedCode, int oemCodePage);

} // namespace zadari
