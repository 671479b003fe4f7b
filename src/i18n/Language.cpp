#include "i18n/Language.h"

#include "i18n/EmbeddedLanguages.h"
#include "i18n/LangFile.h"
#include "i18n/StrRes.h"
#include "i18n/TextCodec.h"
#include "i18n/TranslationReader.h"

#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <filesystem>
#include <system_error>

namespace zadari {

namespace {

// The message lookup may run on any thread, so the two texts it reads are guarded.
struct TLanguageState {
    QMutex mutex;
    QString current = QStringLiteral("en");
    QString folder;
};

TLanguageState& State() {
    static TLanguageState state;
    return state;
}

} // namespace

QString CurrentLanguage() {
    QMutexLocker lock(&State().mutex);
    return State().current;
}

void SetCurrentLanguage(const QString& code) {
    QMutexLocker lock(&State().mutex);
    State().current = code;
}

QString LanguageFolder() {
    QMutexLocker lock(&State().mutex);
    return State().folder;
}

void SetLanguageFolder(const QString& folder) {
    QString f = folder;
    if (!f.isEmpty() && !f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    QMutexLocker lock(&State().mutex);
    State().folder = f;
}

QString ProgramFileName() {
    static const QString name = [] {
        std::error_code ec;
        const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        const std::string file = ec ? std::string() : exe.filename().string();
        return file.empty() ? QStringLiteral("zadari") : QString::fromLocal8Bit(file);
    }();
    return name;
}

QString LanguageFilePathFor(const QString& code) {
    const QString folder = LanguageFolder();
    if (folder.isEmpty())
        return {};
    QString base = ProgramFileName();
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        base.truncate(dot);
    return folder + base + QStringLiteral(".l") + code;
}

QString LanguageFilePath() {
    return LanguageFilePathFor(CurrentLanguage());
}

const char* LanguageEncoding(const QString& code) {
    const QString c = code.toLower();
    if (c == QLatin1String("cn"))
        return "CP936";
    if (c == QLatin1String("b5"))
        return "CP950";
    if (c == QLatin1String("jp"))
        return "CP932";
    if (c == QLatin1String("ru"))
        return "CP1251";
    // English (plain ASCII), French, Spanish and anything unknown.
    return "CP1252";
}

void SetLanguage(const QString& code) {
    DropTranslationReader();
    ClearStrResCache();
    // Codes match without regard to case ("FR" saved by hand finds "fr"), as on the file
    // systems the codes were made for; the stored files carry the codes' own spelling.
    QString known = code;
    for (const TEmbeddedLanguageFile& file : EmbeddedLanguageFiles()) {
        if (code.compare(QLatin1String(file.code), Qt::CaseInsensitive) == 0)
            known = QLatin1String(file.code);
    }
    SetCurrentLanguage(known);
    const QString path = LanguageFilePath();
    if (path.isEmpty() || !QFileInfo::exists(path))
        SetCurrentLanguage(QStringLiteral("en"));
}

std::vector<TLanguageEntry> ReadLanguageList() {
    const QString code = CurrentLanguage();
    const TLangFile file = TLangFile::Open(LanguageFilePath(), LanguageEncoding(code));
    std::vector<TLanguageEntry> list;
    if (const TLangFile::TSection* lans = file.FindSection("Lans")) {
        for (const TLangFile::TEntry& e : lans->entries) {
            list.push_back(TLanguageEntry{DecodeText(e.key, file.Encoding().c_str()),
                                          DecodeText(e.value, file.Encoding().c_str())});
        }
    }
    return list;
}

} // namespace zadari
