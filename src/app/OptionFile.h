#pragma once
// TOptionFile: the program's settings in "option.ini". Two files of that name take part: the
// per-user one in the user's configuration folder, which is read and written, and the one in
// the program's folder, read only, whose values act as a site-wide default.
#include <QString>

namespace zadari {

class TOptionFile {
public:
    /// Uses the per-user folder ($XDG_CONFIG_HOME or ~/.config, then the program's name and "/";
    /// the program's own folder when there is none), creating it when missing, and the program's
    /// folder.
    explicit TOptionFile(const QString& fileName);
    /// The same with given folders (each with or without a trailing "/"); `userDir` is created
    /// when missing. An empty programDir means there is no program-folder file.
    TOptionFile(const QString& fileName, const QString& programDir, const QString& userDir);

    /// The per-user value of (section, key); when the per-user file has none, the program-folder
    /// file's value; when neither has one, `defaultValue`. Names match without regard to ASCII
    /// case; values lose their surrounding blanks. A missing or unreadable file has no values.
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;

    /// Writes (section, key) = value to the per-user file, keeping everything else in it. Line
    /// breaks in the value become blanks (they would start new entries); a section or key that
    /// cannot be written as such ("", "=", "]", line breaks) is refused. The file is replaced
    /// whole, so a failed write leaves the old one. False on failure, which callers may ignore.
    bool WriteString(const QString& section, const QString& key, const QString& value);

    /// The per-user file's path.
    QString UserFilePath() const { return userFile_; }
    /// The program-folder file's path, "" when it did not exist at creation.
    QString ProgramFilePath() const { return programFile_; }

private:
    void Init(const QString& fileName, const QString& programDir, const QString& userDir);

    QString userFile_;
    QString programFile_;
};

} // namespace zadari
