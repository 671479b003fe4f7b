#pragma once
// The holder of the language store: writes the embedded language files into a private folder
// for the life of the program and removes them again.
#include <QString>

namespace zadari {

/// Made first by the main window and destroyed with it. Creation sets the language to "en",
/// removes folders left by killed instances of this user, creates a folder of this instance
/// only (mode 0700) and writes the seven files into it; destruction removes the folder without
/// following links. Instances running side by side keep their own folders.
class TLanguageStore {
public:
    /// `base` is the folder to create the private folder in; empty for PrivateFolderBase().
    explicit TLanguageStore(const QString& base = QString());
    ~TLanguageStore();
    TLanguageStore(const TLanguageStore&) = delete;
    TLanguageStore& operator=(const TLanguageStore&) = delete;

    /// The folder of this instance (ending in "/"), empty when it could not be created.
    const QString& Folder() const { return m_folder; }
    /// How many of the files were written.
    int FilesWritten() const { return m_written; }

    /// The prefix of the private folders' names: the program's file name + "-lang".
    static QString FolderPrefix();

private:
    QString m_folder;
    int m_written = 0;
};

} // namespace zadari
