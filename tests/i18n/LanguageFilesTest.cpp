// The embedded language files: their bytes, their code pages, and that all seven agree.
#include "i18n/EmbeddedLanguages.h"
#include "i18n/LangFile.h"
#include "i18n/Language.h"
#include "i18n/TextCodec.h"

#include <QFile>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zadari {
namespace {

std::string_view BytesOf(const TEmbeddedLanguageFile& f) {
    return std::string_view(reinterpret_cast<const char*>(f.bytes), f.size);
}

TLangFile Parse(const TEmbeddedLanguageFile& f) {
    return TLangFile(BytesOf(f), LanguageEncoding(QString::fromLatin1(f.code)));
}

const TEmbeddedLanguageFile& File(const char* code) {
    for (const TEmbeddedLanguageFile& f : EmbeddedLanguageFiles()) {
        if (std::string_view(f.code) == code)
            return f;
    }
    ADD_FAILURE() << "no embedded file " << code;
    return EmbeddedLanguageFiles()[0];
}

const char* const kCodes[] = {"en", "cn", "b5", "fr", "jp", "ru", "spa"};

TEST(LanguageFiles, StoreHoldsTheSevenFilesInStoreOrder) {
    std::vector<std::string> codes;
    for (const TEmbeddedLanguageFile& f : EmbeddedLanguageFiles())
        codes.emplace_back(f.code);
    EXPECT_EQ(codes, (std::vector<std::string>{"cn", "en", "spa", "b5", "fr", "ru", "jp"}));
}

TEST(LanguageFiles, EachFileDecodesToExactlyItsUtf8Source) {
    for (const TEmbeddedLanguageFile& f : EmbeddedLanguageFiles()) {
        QFile source(QStringLiteral(ZADARI_SOURCE_DIR "/src/i18n/lang/") +
                     QString::fromLatin1(f.code) + QStringLiteral(".ini"));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << f.code;
        const QString expected = QString::fromUtf8(source.readAll());
        const std::string_view bytes = BytesOf(f);

        const QString decoded = DecodeText(bytes, LanguageEncoding(QString::fromLatin1(f.code)));
        EXPECT_FALSE(decoded.contains(QChar(0xFFFD))) << f.code;
        QString lf = decoded;
        lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        EXPECT_EQ(lf, expected) << f.code;

        // CR LF after every line, and no bare CR or LF.
        EXPECT_EQ(decoded.count(QStringLiteral("\r\n")), expected.count(QLatin1Char('\n')))
            << f.code;
        EXPECT_EQ(decoded.count(QLatin1Char('\n')), decoded.count(QLatin1Char('\r'))) << f.code;
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << f.code;
    }
}

TEST(LanguageFiles, TheEnglishFileIsPlainAscii) {
    for (char c : BytesOf(File("en")))
        ASSERT_EQ(static_cast<unsigned char>(c) & 0x80, 0);
}

TEST(LanguageFiles, LegacyBytesAreThoseOfEachCodePage) {
    // Own-language names as their code pages write them, taken from code-page tables.
    struct TCase {
        const char* code;
        std::string bytes;
    } cases[] = {
        {"cn", "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4=cn\r\n"}, // 简体中文
        {"b5", "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5=b5\r\n"}, // 繁體中文
        {"jp", "\x93\xFA\x96\x7B\x8C\xEA=jp\r\n"},         // 日本語
        {"ru", "\xD0\xF3\xF1\xF1\xEA\xE8\xE9=ru\r\n"},     // Русский
        {"fr", "Fran\xE7"
               "ais=fr\r\n"},            // Français
        {"spa", "Espa\xF1oles=spa\r\n"}, // Españoles
    };
    for (const TCase& c : cases)
        EXPECT_NE(BytesOf(File(c.code)).find(c.bytes), std::string_view::npos) << c.code;
}

TEST(LanguageFiles, EveryFileHasTheSectionsAndKeysOfTheEnglishOne) {
    const TLangFile english = Parse(File("en"));
    ASSERT_EQ(english.Sections().size(), 5u);
    const char* const sections[] = {"Lans", "Form_frmMain", "Form_frmAuthInput",
                                    "Form_frmUpgradeSoft", "StrRes"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(english.Sections()[i].name, sections[i]);

    for (const char* code : kCodes) {
        const TLangFile file = Parse(File(code));
        ASSERT_EQ(file.Sections().size(), english.Sections().size()) << code;
        for (std::size_t s = 0; s < english.Sections().size(); ++s) {
            const TLangFile::TSection& want = english.Sections()[s];
            const TLangFile::TSection& have = file.Sections()[s];
            EXPECT_EQ(have.name, want.name) << code;
            ASSERT_EQ(have.entries.size(), want.entries.size()) << code << " " << want.name;
            if (want.name == "Lans")
                continue; // its keys are the names of the languages in the file's own language
            for (std::size_t k = 0; k < want.entries.size(); ++k) {
                EXPECT_EQ(have.entries[k].key, want.entries[k].key) << code;
                EXPECT_FALSE(have.entries[k].value.empty()) << code << " " << want.entries[k].key;
            }
        }
    }
}

TEST(LanguageFiles, LansListsTheSevenCodesInOrderWithTheirOwnNames) {
    const char* const ownNames[] = {"English", "简体中文", "繁體中文", "Français",
                                    "日本語",  "Русский",  "Españoles"};
    for (std::size_t i = 0; i < 7; ++i) {
        const TLangFile file = Parse(File(kCodes[i]));
        const TLangFile::TSection* lans = file.FindSection("Lans");
        ASSERT_NE(lans, nullptr);
        ASSERT_EQ(lans->entries.size(), 7u) << kCodes[i];
        for (std::size_t j = 0; j < 7; ++j)
            EXPECT_EQ(lans->entries[j].value, kCodes[j]) << kCodes[i];
        // A language's own entry carries its own name.
        EXPECT_EQ(file.SectionKeys("Lans")[i], QString::fromUtf8(ownNames[i])) << kCodes[i];
    }
    const char* const englishNames[] = {"English", "Simplified Chinese", "Traditional Chinese",
                                        "French",  "Japanese",           "Russian",
                                        "Spanish"};
    const std::vector<QString> keys = Parse(File("en")).SectionKeys("Lans");
    for (std::size_t j = 0; j < 7; ++j)
        EXPECT_EQ(keys[j], QString::fromLatin1(englishNames[j]));
}

struct TMessage {
    const char* key;
    const char* english; ///< as read, escapes expanded
};

const TMessage kMessages[] = {
    {"IDS_INPUTPORT", "Please input HTTP port."},
    {"IDS_WARNING", "Warning"},
    {"IDS_AUTOCONFIGIPCAM",
     "Sure to configurate IP Camera according to current computer configuration?"},
    {"IDS_CONFIRM", "Confirmation"},
    {"IDS_INFORMATION", "Information"},
    {"IDS_ERROR", "Error"},
    {"IDS_CHECKNORM", "Check successfully."},
    {"IDS_NOID",
     "Error: no DDNS account setting.\r\n\r\nPlease check the DDNS setting in IP camera."},
    {"IDS_NOREG", "Error: IP camera have not log in DNS server.\r\nPlease check:\r\n1.Whether "
                  "the IP camera can connect the internet.\r\n2.Check the Gateway of IP "
                  "camera.\r\n3.Check the DNS server of IP camera."},
    {"IDS_ERRPWD",
     "Error: DDNS password is incorrect\r\n\r\nPlease check the DDNS setting in IP camera."},
    {"IDS_UNKNOWERR", "Error: unknown error"},
    {"IDS_CANNOTCONNECTSERVER", "Error: could not connect the DDNS server"},
    {"IDS_NOFIXIP", "The network is not \"Fixed IP\", this operation could not be done."},
    {"IDS_DEVCOUNT", "Count:"},
    {"IDS_FILENOEXISTS", "The selected file does not exist."},
    {"IDS_ERRFILE", "The selected file is incorrect."},
    {"IDS_UPGRADETIMEOUT", "Erase time-out, please try again!"},
    {"IDS_WRITETIMEOUT", "Time out of writing file!"},
    {"IDS_UPGRADESUCC", "Upgrade success!"},
    {"IDS_ERRCONNECT", "Unable to connect the IP Camera."},
    {"IDS_ERRIPCAM", "The selected IP Camera mode is not correct."},
    {"IDS_UPGRADEFAIL", "Upgrade failed!"},
    {"IDS_SERVER_NOID", "The account number does not exist"},
    {"IDS_SERVER_OFFLINE", "Offline"},
    {"IDS_NOGAGEWAY", "Please fill Gateway."},
    {"IDS_ERRCREATE307SOCKET", "Could not create the socket port, please check whether the "
                               "program is already running. Continue?"},
    // Our own: a KT352 device's command carries at most four port digits.
    {"IDS_PORTDIGITS", "This camera takes an HTTP port of at most four digits (1 to 9999)."},
    // Our own: re-addressing many cameras.
    {"IDS_FLEET_MENU", "Re-address..."},
    {"IDS_FLEET_TITLE", "Re-address cameras"},
    {"IDS_FLEET_FIRST", "First address"},
    {"IDS_FLEET_MASK", "Subnet mask"},
    {"IDS_FLEET_GATEWAY", "Gateway"},
    {"IDS_FLEET_MAKEPLAN", "Make plan"},
    {"IDS_FLEET_LOADPLAN", "Load plan..."},
    {"IDS_FLEET_START", "Start"},
    {"IDS_FLEET_CANCEL", "Cancel"},
    {"IDS_FLEET_SAVEREPORT", "Save report..."},
    {"IDS_FLEET_CLOSE", "Close"},
    {"IDS_FLEET_PROGRESS", "%1 of %2 cameras done"},
    {"IDS_FLEET_SUMMARY", "Verified: %1, unverified: %2, failed: %3, not found: %4"},
    {"IDS_FLEET_INVALID", "The plan has problems; nothing is sent until they are solved."},
    {"IDS_FLEET_COLMAC", "MAC"},
    {"IDS_FLEET_COLNAME", "Name"},
    {"IDS_FLEET_COLIP", "IP"},
    {"IDS_FLEET_COLNEWIP", "New IP"},
    {"IDS_FLEET_COLSTATE", "State"},
    {"IDS_FLEET_WAITING", "Waiting"},
    {"IDS_FLEET_VERIFYING", "Verifying"},
    {"IDS_FLEET_VERIFIED", "Verified"},
    {"IDS_FLEET_UNVERIFIED", "Unverified"},
    {"IDS_FLEET_FAILED", "Failed"},
    {"IDS_FLEET_NOTFOUND", "Not found"},
    {"IDS_FLEET_CANCELLED", "Cancelled"},
    {"IDS_PLAN_UNREADABLE", "Unreadable line"},
    {"IDS_PLAN_DUPMAC", "MAC planned twice"},
    {"IDS_PLAN_DUPIP", "Address planned twice"},
    {"IDS_PLAN_INUSE", "Address in use"},
    {"IDS_PLAN_NETADDR", "Network or broadcast address"},
    {"IDS_PLAN_BADMASK", "Not a subnet mask"},
    {"IDS_PLAN_NOCOMMAND", "Cannot be re-addressed"},
    {"IDS_PLAN_NAMEFIXED", "Name cannot be changed"},
    {"IDS_PLAN_CYCLE", "Cameras would swap addresses"},
    {"IDS_PLAN_RANGE", "Not enough free addresses"},
    // Our own: devices that only the standard discovery protocols found, and their tab.
    {"IDS_STDNOTSUPPORTED",
     "Changing the settings of a device that only UPnP or mDNS found is not supported."},
    {"IDS_STDMANUFACTURER", "Manufacturer:"},
    {"IDS_STDMODEL", "Model:"},
    {"IDS_STDMODELNUMBER", "Model number:"},
    {"IDS_STDFIRMWARE", "Firmware:"},
    {"IDS_STDSERIAL", "Serial number:"},
    {"IDS_STDHARDWARE", "Hardware:"},
    {"IDS_STDLOCATION", "Location:"},
    {"IDS_STDUUID", "UUID:"},
    {"IDS_STDSERVICES", "Service URLs:"},
    {"IDS_STDSEENVIA", "Seen via:"},
    {"IDS_STDMISMATCH", "advertises another address:"},
    {"IDS_STDNONE", "No standard protocol found this device."},
    {"IDS_COL_MAC", "MAC"},
    {"IDS_COL_VERSION", "Version"},
    {"IDS_COL_HTTPPORT", "HTTP port"},
    {"IDS_COL_ADAPTER", "Adapter"},
    {"IDS_COL_MODEL", "Model"},
    {"IDS_COL_SEENVIA", "Seen via"},
    {"IDS_MARK_SAMEIP", "Same address as %1"},
    {"IDS_MARK_OTHERSUBNET", "Outside the subnet of the adapter it answered on"},
    // Our own: the firmware upgrade of many cameras.
    {"IDS_FUPG_MENU", "Fleet upgrade..."},
    {"IDS_FUPG_TITLE", "Upgrade the firmware of several cameras"},
    {"IDS_FUPG_FILEFOR", "Firmware for %1 cameras (%2):"},
    {"IDS_FUPG_BROWSE", "Browse..."},
    {"IDS_FUPG_SYSTEM", "System firmware"},
    {"IDS_FUPG_WEBUI", "Web UI firmware"},
    {"IDS_FUPG_PARALLEL", "Uploads at once:"},
    {"IDS_FUPG_LEFTOUT", "%1 of the selected cameras take no firmware upgrade and are left out."},
    {"IDS_FUPG_NOFILE", "Choose a firmware file for every kind of camera first."},
    {"IDS_FUPG_COLUPLOAD", "Upload"},
    {"IDS_FUPG_COLSTAGE", "Stage"},
    {"IDS_FUPG_UPLOADING", "Uploading"},
    {"IDS_FUPG_REBOOTING", "Restarting"},
    {"IDS_FUPG_BACK", "Back"},
    {"IDS_FUPG_DONE", "Done"},
    {"IDS_FUPG_NOTBACK", "Not back in time"},
    {"IDS_FUPG_SUMMARY", "Done: %1, failed: %2, not back: %3, not found: %4, cancelled: %5"},
    // Our own: the ONVIF device service's answers.
    {"IDS_ONVIF_NOTAUTHORIZED",
     "The camera refused the account. Please check the user name and the password."},
    {"IDS_ONVIF_INVALIDARG",
     "The camera refused one of the settings. Please check the values and try again."},
    {"IDS_ONVIF_BADADDRESS", "The IP address or the gateway is not valid for this camera."},
    {"IDS_ONVIF_BADNAME", "The name is not a valid host name. Use only the letters a-z, digits and "
                          "hyphens, without spaces."},
    {"IDS_ONVIF_BADMASK", "The subnet mask is not valid."},
    {"IDS_ONVIF_NOTSUPPORTED", "The camera does not support this setting over ONVIF."},
    {"IDS_ONVIF_FAULT", "The camera reported an error and did not apply the settings."},
    {"IDS_ONVIF_HTTPERROR", "The camera's ONVIF service answered with an HTTP error."},
    {"IDS_ONVIF_TIMEOUT",
     "The camera did not answer in time. Please check that it is switched on and reachable."},
    {"IDS_ONVIF_CONNECT", "Unable to connect to the camera's ONVIF service."},
    {"IDS_ONVIF_BADANSWER", "The camera's answer could not be read."},
    {"IDS_ONVIF_NOSERVICE", "This camera did not announce an ONVIF device service."},
    {"IDS_ONVIF_REBOOTING", "The camera is restarting to use its new settings. It will appear in "
                            "the list again when it answers."},
    {"IDS_ONVIF_SETTINGSREAD",
     "The camera's current settings are shown now. Change them and press Apply again."},
    {"IDS_ONVIF_UNCHANGED", "The camera already has these settings. Nothing was sent."},
};

TEST(LanguageFiles, EnglishMessagesAreExactlyTheTableInItsOrder) {
    const TLangFile english = Parse(File("en"));
    const TLangFile::TSection* strRes = english.FindSection("StrRes");
    ASSERT_NE(strRes, nullptr);
    ASSERT_EQ(strRes->entries.size(), std::size(kMessages));
    for (std::size_t i = 0; i < std::size(kMessages); ++i) {
        EXPECT_EQ(strRes->entries[i].key, kMessages[i].key);
        EXPECT_EQ(ReadLangValue(english, "StrRes", kMessages[i].key, QString()),
                  QString::fromLatin1(kMessages[i].english))
            << kMessages[i].key;
    }
    // The two lines with blanks before "=" keep their layout.
    const std::string_view bytes = BytesOf(File("en"));
    EXPECT_NE(bytes.find("\r\nIDS_ERROR\t=Error\r\n"), std::string_view::npos);
    EXPECT_NE(bytes.find("\r\nIDS_SERVER_NOID\t\t        = The account number does not exist\r\n"),
              std::string_view::npos);
    EXPECT_NE(bytes.find("\r\nCaption =ZI Zadari Rurova\r\n"), std::string_view::npos);
}

TEST(LanguageFiles, EveryMessageIsPresentAndNonEmptyInEveryFile) {
    for (const char* code : kCodes) {
        const TLangFile file = Parse(File(code));
        for (const TMessage& m : kMessages) {
            const QString text = ReadLangValue(file, "StrRes", m.key, QString());
            EXPECT_FALSE(text.isEmpty()) << code << " " << m.key;
            EXPECT_FALSE(text.contains(QLatin1Char('$'))) << code << " " << m.key;
        }
    }
}

TEST(LanguageFiles, EnglishWindowTextsAreThoseOfTheProgram) {
    const TLangFile en = Parse(File("en"));
    struct TCase {
        const char* section;
        const char* key;
        const char* text;
    } cases[] = {
        {"Form_frmMain", "Caption", "ZI Zadari Rurova"},
        {"Form_frmMain", "btnApply.Caption", "&Apply"},
        {"Form_frmMain", "spbExport.Caption", "&Export"},
        {"Form_frmMain", "TeGroupBox1.Caption", "Current Computer"},
        {"Form_frmMain", "Label12.Caption", "Secondary DNS:"},
        {"Form_frmMain", "ListView.Columns0.Caption", "Mode"},
        {"Form_frmMain", "ListView.Columns2.Caption", "IP"},
        {"Form_frmMain", "cmbIPAssBak.Items1.Caption", "Dynamic IP"},
        {"Form_frmMain", "Label5.Caption", "Inner access:"},
        {"Form_frmMain", "lblIP.Caption", "IP  :"},
        {"Form_frmMain", "lblPreMac.Caption", "MAC   :"},
        {"Form_frmMain", "btnUpgrade.Caption", "Upgrade"},
        {"Form_frmMain", "tabStandards.Caption", "Standards"},
        {"Form_frmAuthInput", "Caption", "Validate Authentication"},
        {"Form_frmAuthInput", "btnOK.Caption", "&OK"},
        {"Form_frmAuthInput", "Label2.Caption", "Password:"},
        {"Form_frmUpgradeSoft", "Caption", "Upgrade firmware"},
        {"Form_frmUpgradeSoft", "RadioButton2.Caption", "Embeded Web UI Firmware"},
        {"Form_frmUpgradeSoft", "BitBtn3.Caption", "&Close"},
        {"Form_frmUpgradeSoft", "OpenDialog1.Filter", "Firmware(*.bin)|*.bin"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ReadLangValue(en, c.section, c.key, QString()), QString::fromLatin1(c.text))
            << c.section << " " << c.key;
    }
    EXPECT_EQ(en.FindSection("Form_frmMain")->entries.size(), 35u);
    EXPECT_EQ(en.FindSection("Form_frmAuthInput")->entries.size(), 5u);
    EXPECT_EQ(en.FindSection("Form_frmUpgradeSoft")->entries.size(), 7u);
}

TEST(LanguageFiles, FileDialogFiltersArePairsInEveryFile) {
    for (const char* code : kCodes) {
        const QString filter =
            ReadLangValue(Parse(File(code)), "Form_frmUpgradeSoft", "OpenDialog1.Filter", {});
        const QStringList parts = filter.split(QLatin1Char('|'));
        ASSERT_EQ(parts.size(), 2) << code;
        EXPECT_EQ(parts[1], QStringLiteral("*.bin")) << code;
    }
}

} // namespace
} // namespace zadari
