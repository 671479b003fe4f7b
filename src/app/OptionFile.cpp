#include "app/OptionFile.h"

#include "access/Tools.h"
#include "i18n/LangFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

namespace {

// option.ini holds a line or two; anything far larger is not ours and is read only in part.
constexpr qint64 kMaxOptionFileBytes = 1024 * 1024;

QString WithSlash(const QString& dir) {
    if (dir.isEmpty() || dir.endsWith(QLatin1Char('/')))
        return dir;
    return dir + QLatin1Char('/');
}

std::string ReadFileBytes(const QString& path, bool* complete = nullptr) {
    if (complete != nullptr)
        *complete = !QFileInfo::exists(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(kMaxOptionFileBytes);
    if (complete != nullptr)
        *complete = file.atEnd();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

/// An editor saved as UTF-8 with a byte-order mark must not hide the first section.
std::string_view WithoutBom(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    return bytes;
}

/// The value of (section, key) in an INI file, or nothing when the file has no such entry.
std::optional<QString> ValueIn(const QString& path, const QByteArray& section,
                               const QByteArray& key) {
    if (path.isEmpty())
        return std::nullopt;
    const std::string bytes = ReadFileBytes(path);
    const TLangFile ini(WithoutBom(bytes), "UTF-8");
    const std::string* value =
        ini.FindValue(std::string_view(section.constData(), std::size_t(section.size())),
                      std::string_view(key.constData(), std::size_t(key.size())));
    if (value == nullptr)
        return std::nullopt;
    return QString::fromUtf8(value->data(), qsizetype(value->size()));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

/// A line of the file with the line end it had.
struct TLine {
    std::string_view text;
    std::string_view end;
};

std::vector<TLine> SplitLines(std::string_view bytes) {
    std::vector<TLine> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            lines.push_back({bytes.substr(pos), {}});
            break;
        }
        std::size_t next = end + 1;
        if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n')
            ++next;
        lines.push_back({bytes.substr(pos, end - pos), bytes.substr(end, next - end)});
        pos = next;
    }
    return lines;
}

/// The section a trimmed line opens, read the way the reader reads it; nothing for other lines.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    std::string_view name = line.substr(1);
    const std::size_t close = name.find(']');
    if (close != std::string_view::npos)
        name = name.substr(0, close);
    return Trim(name);
}

std::optional<std::string_view> KeyOf(std::string_view line) {
    line = Trim(line);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty())
        return std::nullopt;
    return key;
}

/// The file's bytes with (section, key) set to value: the first such entry is replaced, a new
/// key goes after the last entry of the section's first occurrence, a new section at the end.
std::string WithEntry(std::string_view bytes, std::string_view section, std::string_view key,
                      std::string_view value) {
    std::string_view bom;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bom = bytes.substr(0, 3);
        bytes.remove_prefix(3);
    }
    const std::vector<TLine> lines = SplitLines(bytes);
    std::string_view newline = "\n";
    for (const TLine& line : lines) {
        if (!line.end.empty()) {
            newline = line.end;
            break;
        }
    }
    const std::string entry = std::string(key) + '=' + std::string(value);

    // Where the first occurrence of the section starts and where its last entry is.
    std::optional<std::size_t> header;
    std::optional<std::size_t> lastEntry;
    std::optional<std::size_t> existing;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionOf(lines[i].text)) {
            if (header)
                break;
            if (EqualsNoCase(*name, section))
                header = i;
            continue;
        }
        if (!header)
            continue;
        if (const auto k = KeyOf(lines[i].text)) {
            lastEntry = i;
            if (EqualsNoCase(*k, key)) {
                existing = i;
                break;
            }
        }
    }

    std::string out(bom);
    auto put = [&](const TLine& line) {
        out += line.text;
        out += line.end;
    };
    if (!header) {
        for (const TLine& line : lines)
            put(line);
        if (!lines.empty() && lines.back().end.empty())
            out += newline;
        out += '[';
        out += section;
        out += ']';
        out += newline;
        out += entry;
        out += newline;
        return out;
    }
    const std::size_t after = existing ? *existing : lastEntry.value_or(*header);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (existing && i == *existing) {
            out += entry;
            out += lines[i].end.empty() ? newline : lines[i].end;
            continue;
        }
        put(lines[i]);
        if (!existing && i == after) {
            if (lines[i].end.empty())
                out += newline;
            out += entry;
            out += newline;
        }
    }
    return out;
}

bool IsWritableName(const QString& name, bool isSection) {
    if (name.trimmed().isEmpty() || name.trimmed() != name)
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return false;
        if (isSection ? c == QLatin1Char(']') : c == QLatin1Char('='))
            return false;
    }
    return isSection || !name.startsWith(QLatin1Char('['));
}

} // namespace

TOptionFile::TOptionFile(const QString& fileName) {
    const QString programDir = TTools::GetAppDir();
    QString userDir = TTools::GetAppDataDir(kCsidlAppData, true);
    if (userDir.isEmpty())
        userDir = programDir;
    Init(fileName, programDir, userDir);
}

TOptionFile::TOptionFile(const QString& fileName, const QString& programDir,
                         const QString& userDir) {
    Init(fileName, programDir, userDir);
}

void TOptionFile::Init(const QString& fileName, const QString& programDir, const QString& userDir) {
    if (!userDir.isEmpty())
        TTools::ForceDir(userDir);
    userFile_ = WithSlash(userDir) + fileName;
    if (!programDir.isEmpty()) {
        const QString candidate = WithSlash(programDir) + fileName;
        if (QFileInfo(candidate).isFile())
            programFile_ = candidate;
    }
}

QString TOptionFile::ReadString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    const QByteArray s = section.toUtf8();
    const QByteArray k = key.toUtf8();
    QString fallback = defaultValue;
    if (const auto site = ValueIn(programFile_, s, k))
        fallback = *site;
    return ValueIn(userFile_, s, k).value_or(fallback);
}

bool TOptionFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (!IsWritableName(section, true) || !IsWritableName(key, false))
        return false;
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' '));
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    flat.remove(QChar(0));
    const QByteArray s = section.toUtf8();
    const QByteArray k = key.toUtf8();
    const QByteArray v = flat.toUtf8();
    bool complete = false;
    const std::string old = ReadFileBytes(userFile_, &complete);
    // Rewriting a file we could not read whole would lose what we did not see.
    if (!complete)
        return false;
    const std::string updated =
        WithEntry(old, std::string_view(s.constData(), std::size_t(s.size())),
                  std::string_view(k.constData(), std::size_t(k.size())),
                  std::string_view(v.constData(), std::size_t(v.size())));
    QSaveFile file(userFile_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(updated.data(), qint64(updated.size()));
    return file.commit();
}

} // namespace zadari
