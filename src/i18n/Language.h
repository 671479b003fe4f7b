#pragma once
// The current language and where its file lies.
#include <QString>

#include <vector>

namespace zadari {

/// The code of the current language ("en", "cn", "b5", "fr", "jp", "ru", "spa"); "en" until
/// something else is chosen. Safe to call from any thread.
QString CurrentLanguage();
/// Changes the code only; SetLanguage is the user-level change that also drops cached texts.
void SetCurrentLanguage(const QString& code);

/// The folder that holds the language files, ending in "/"; empty while no store is written.
QString LanguageFolder();
void SetLanguageFolder(const QString& folder);

/// The program's own file name ("zadari"), which names the language files.
QString ProgramFileName();

/// The file of a language: LanguageFolder + the program's file name with its extension
/// replaced by ".l" + code ("zadari.lspa"). Empty while there is no language folder.
QString LanguageFilePathFor(const QString& code);
/// The file of the current language.
QString LanguageFilePath();

/// The iconv name of the code page a language's file is written in.
const char* LanguageEncoding(const QString& code);

/// Makes a language current: drops the shared translation reader and the message cache, then
/// falls back to "en" when the language has no file.
void SetLanguage(const QString& code);

/// One entry of the "[Lans]" section: the language's name in the file's language and its code.
struct TLanguageEntry {
    QString name;
    QString code;
};

/// The "[Lans]" section of the current language file, in file order (empty without a file).
/// This is what the language picker lists.
std::vector<TLanguageEntry> ReadLanguageList();

} // namespace zadari
