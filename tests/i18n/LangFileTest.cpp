// The language-file reader: the profile-reading rules and the escapes of the values.
#include "i18n/LangFile.h"
#include "i18n/TextCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace zadari {
namespace {

const char kSample[] = "[Lans]\r\n"
                       "English=en\r\n"
                       "\r\n"
                       "[Form_frmMain]\r\n"
                       "Caption =ZI Zadari Rurova\r\n"
                       "btnUpgrade.caption=Upgrade\r\n"
                       "no equals sign here\r\n"
                       "  Spaced.Caption  =  \t padded value \t \r\n"
                       "[StrRes]\r\n"
                       "IDS_ERROR\t=Error\r\n"
                       "IDS_SERVER_NOID\t\t        = The account number does not exist\r\n"
                       "IDS_EMPTY=\r\n"
                       "IDS_TWICE=first\r\n"
                       "ids_twice=second\r\n"
                       "IDS_EQ=a=b\r\n";

TLangFile Sample() {
    return TLangFile(kSample, "CP1252");
}

TEST(LangFile, KeysValuesAndBlanksFollowTheProfileRules) {
    const TLangFile f = Sample();
    struct TCase {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Form_frmMain", "Caption", "ZI Zadari Rurova"},
        {"Form_frmMain", "btnUpgrade.Caption", "Upgrade"},
        {"form_frmmain", "BTNUPGRADE.CAPTION", "Upgrade"},
        {"Form_frmMain", "Spaced.Caption", "padded value"},
        {"StrRes", "IDS_ERROR", "Error"},
        {"StrRes", "IDS_SERVER_NOID", "The account number does not exist"},
        {"STRRES", "ids_error", "Error"},
        {"StrRes", "IDS_TWICE", "first"},
        {"StrRes", "IDS_EQ", "a=b"},
        {"Lans", "English", "en"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(f.ReadString(c.section, c.key, QStringLiteral("<default>")),
                  QString::fromLatin1(c.expected))
            << c.section << " / " << c.key;
    }
}

TEST(LangFile, MissingKeysSectionsAndFilesGiveTheDefault) {
    const TLangFile f = Sample();
    const QString def = QStringLiteral("<default>");
    EXPECT_EQ(f.ReadString("StrRes", "IDS_MISSING", def), def);
    EXPECT_EQ(f.ReadString("NoSuchSection", "IDS_ERROR", def), def);
    EXPECT_EQ(f.ReadString("Form_frmMain", "no equals sign here", def), def);
    // Present but empty is empty, not the default.
    EXPECT_EQ(f.ReadString("StrRes", "IDS_EMPTY", def), QString());

    const TLangFile missing = TLangFile::Open(QStringLiteral("/nonexistent/zadari.len"), "CP1252");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.ReadString("StrRes", "IDS_ERROR", def), def);
    const TLangFile noPath = TLangFile::Open(QString(), "CP1252");
    EXPECT_FALSE(noPath.Loaded());
}

TEST(LangFile, KeysBeforeAnySectionCarryNothing) {
    const TLangFile f(std::string("orphan=1\n[A]\nk=v\n"), "CP1252");
    EXPECT_EQ(f.ReadString("", "orphan", QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_EQ(f.ReadString("A", "k", QString()), QStringLiteral("v"));
}

TEST(LangFile, LineEndsOfEveryKindSplitLines) {
    const TLangFile f(std::string("[A]\nlf=1\rcr=2\r\ncrlf=3"), "CP1252");
    EXPECT_EQ(f.ReadString("A", "lf", QString()), QStringLiteral("1"));
    EXPECT_EQ(f.ReadString("A", "cr", QString()), QStringLiteral("2"));
    EXPECT_EQ(f.ReadString("A", "crlf", QString()), QStringLiteral("3"));
}

TEST(LangFile, ValuesAreCutAt2047Bytes) {
    for (std::size_t length :
         {std::size_t{2046}, std::size_t{2047}, std::size_t{2048}, std::size_t{5000}}) {
        const std::string text = "[A]\r\nk=" + std::string(length, 'x') + "\r\n";
        const TLangFile f(text, "CP1252");
        EXPECT_EQ(f.ReadString("A", "k", QString()).size(),
                  static_cast<qsizetype>(std::min<std::size_t>(length, 2047)))
            << length;
    }
}

TEST(LangFile, SectionKeysComeInFileOrder) {
    const TLangFile f(std::string("[Lans]\r\nEnglish=en\r\nFrench=fr\r\nRussian=ru\r\n"), "CP1252");
    const std::vector<QString> keys = f.SectionKeys("lans");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0], QStringLiteral("English"));
    EXPECT_EQ(keys[1], QStringLiteral("French"));
    EXPECT_EQ(keys[2], QStringLiteral("Russian"));
    EXPECT_TRUE(f.SectionKeys("none").empty());
}

TEST(LangFile, ValuesAreDecodedFromTheFilesCodePage) {
    // "简体中文" in GBK, "Русский" in Windows-1251, "Français" in Windows-1252.
    const TLangFile cn(std::string("[A]\r\nk=\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4\r\n"), "CP936");
    EXPECT_EQ(cn.ReadString("A", "k", QString()), QString::fromUtf8("简体中文"));
    const TLangFile ru(std::string("[A]\r\nk=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n"), "CP1251");
    EXPECT_EQ(ru.ReadString("A", "k", QString()), QString::fromUtf8("Русский"));
    const TLangFile fr(std::string("[A]\r\nk=Fran\xE7\x61is\r\n"), "CP1252");
    EXPECT_EQ(fr.ReadString("A", "k", QString()), QString::fromUtf8("Français"));
    // "日本語" in Shift-JIS and "繁體中文" in Big5.
    const TLangFile jp(std::string("[A]\r\nk=\x93\xFA\x96\x7B\x8C\xEA\r\n"), "CP932");
    EXPECT_EQ(jp.ReadString("A", "k", QString()), QString::fromUtf8("日本語"));
    const TLangFile b5(std::string("[A]\r\nk=\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5\r\n"), "CP950");
    EXPECT_EQ(b5.ReadString("A", "k", QString()), QString::fromUtf8("繁體中文"));
}

TEST(TextCodec, BadBytesGiveADefinedText) {
    // A lone lead byte inside, and one cut off at the end.
    EXPECT_EQ(DecodeText(std::string_view("a\x81 b", 4), "CP932"), QString::fromUtf8("a\uFFFD b"));
    EXPECT_EQ(DecodeText(std::string_view("ab\x81", 3), "CP936"), QStringLiteral("ab"));
    EXPECT_EQ(DecodeText("abc", "NO-SUCH-ENCODING"), QStringLiteral("abc"));
    EXPECT_EQ(DecodeText({}, "CP936"), QString());
    EXPECT_FALSE(EncodeText(QString::fromUtf8("日本語"), "CP1252").has_value());
    EXPECT_EQ(EncodeText(QString::fromUtf8("Français"), "CP1252"), std::string("Fran\xE7"
                                                                               "ais"));
}

TEST(ReadLangValue, EscapesExpandInTheirOrder) {
    struct TCase {
        const char* stored;
        const char* expected;
    } cases[] = {
        {"a$bb", "a b"},
        {"x$cy", "x=y"},
        {"line1$nline2", "line1\r\nline2"},
        {"cost$$", "cost$"},
        {"a$tb", "a\tb"},
        {"$$n", "$\r\n"}, // "$n" is replaced before "$$"
        {"$$t", "\t"},    // "$$" becomes "$", which then forms "$t"
        {"$$b", "$ "},
        {"$$$$", "$$"},
        {"$B$N$T", "$B$N$T"}, // case-sensitive
        {"$", "$"},
        {"Error: no DDNS account setting.$n$nPlease check",
         "Error: no DDNS account setting.\r\n\r\nPlease check"},
    };
    for (const TCase& c : cases) {
        const TLangFile f(std::string("[S]\r\nk=") + c.stored + "\r\n", "CP1252");
        EXPECT_EQ(ReadLangValue(f, "S", "k", QString()), QString::fromLatin1(c.expected))
            << c.stored;
    }
}

TEST(ReadLangValue, TheDefaultIsExpandedToo) {
    const TLangFile f(std::string("[S]\r\n"), "CP1252");
    EXPECT_EQ(ReadLangValue(f, "S", "missing", QStringLiteral("one$ntwo")),
              QStringLiteral("one\r\ntwo"));
    const TLangFile none;
    EXPECT_EQ(ReadLangValue(none, "S", "k", QStringLiteral("$$$$")), QStringLiteral("$$"));
}

} // namespace
} // namespace zadari
