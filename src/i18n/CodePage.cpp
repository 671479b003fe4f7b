#include "i18n/CodePage.h"

#include "i18n/Language.h"
#include "i18n/TextCodec.h"

#include <QFileInfo>

#include <cstdlib>
#include <string>

namespace zadari {

namespace {

bool IsUtf8(std::string_view bytes) {
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QByteArray back = text.toUtf8();
    return std::string_view(back.constData(), static_cast<std::size_t>(back.size())) == bytes;
}

bool IsAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

TCodePages CodePagesFromLocale(std::string_view locale) {
    const std::size_t end = locale.find_first_of(".@");
    const std::string name = Lower(locale.substr(0, end));
    const std::size_t underscore = name.find('_');
    const std::string language = name.substr(0, underscore);
    const std::string territory =
        underscore == std::string::npos ? std::string() : name.substr(underscore + 1);

    if (language == "zh" && (territory == "cn" || territory == "sg"))
        return {936, 936};
    if (language == "zh" && (territory == "tw" || territory == "hk"))
        return {950, 950};
    if (language == "ja")
        return {932, 932};
    if (language == "ru")
        return {1251, 866};
    if (language == "fr" && territory == "ca")
        return {1252, 863};
    return {1252, 437};
}

TCodePages SystemCodePages() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return CodePagesFromLocale(value);
    }
    return {};
}

const char* IconvNameOfCodePage(int codePage) {
    switch (codePage) {
    case 936:
        return "CP936";
    case 950:
        return "CP950";
    case 932:
        return "CP932";
    case 1251:
        return "CP1251";
    case 866:
        return "CP866";
    case 863:
        return "CP863";
    case 437:
        return "CP437";
    default:
        return "CP1252";
    }
}

QString DecodeAnsiOrUtf8(std::string_view bytes) {
    if (IsUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return DecodeText(bytes, IconvNameOfCodePage(SystemCodePages().ansi));
}

std::string EncodeAnsiOrUtf8(const QString& text, std::string_view original) {
    const QByteArray utf8 = text.toUtf8();
    std::string asUtf8(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (IsAscii(asUtf8) || (!IsAscii(original) && IsUtf8(original)))
        return asUtf8;
    std::optional<std::string> ansi = EncodeText(text, IconvNameOfCodePage(SystemCodePages().ansi));
    return ansi ? *ansi : asUtf8;
}

QString LanguageFromCodePage(int oemCodePage) {
    switch (oemCodePage) {
    case 936:
        return QStringLiteral("cn");
    case 950:
        return QStringLiteral("b5");
    case 932:
        return QStringLiteral("jp");
    case 863:
        return QStringLiteral("fr");
    case 1144:
        return QStringLiteral("Ita");
    case 1145:
        return QStringLiteral("spa");
    default:
        return QStringLiteral("en");
    }
}

QString StartLanguage(const QString& savedCode, int oemCodePage) {
    if (!savedCode.isEmpty())
        return savedCode;
    const QString code = LanguageFromCodePage(oemCodePage);
    const QString path = LanguageFilePathFor(code);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return QStringLiteral("en");
    return code;
}

} // namespace zadari
