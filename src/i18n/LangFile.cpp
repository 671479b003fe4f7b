#include "i18n/LangFile.h"

#include "i18n/TextCodec.h"

#include <QFile>

namespace zadari {

namespace {

// A language file of ours is a few kilobytes; anything beyond this is not one and is not read.
constexpr qint64 kMaxFileBytes = 1 << 20;

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
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

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

TLangFile::TLangFile(std::string_view bytes, std::string encoding)
    : m_encoding(std::move(encoding)), m_loaded(true) {
    Parse(bytes);
}

TLangFile TLangFile::Open(const QString& path, std::string encoding) {
    TLangFile file;
    file.m_encoding = std::move(encoding);
    if (path.isEmpty())
        return file;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return file;
    const QByteArray bytes = f.read(kMaxFileBytes);
    file.m_loaded = true;
    file.Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    return file;
}

void TLangFile::Parse(std::string_view bytes) {
    TSection* current = nullptr;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string_view line = Trim(bytes.substr(pos, end - pos));
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r')
            ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n')
            ++pos;

        if (!line.empty() && line.front() == '[') {
            std::string_view name = line.substr(1);
            const std::size_t close = name.find(']');
            if (close != std::string_view::npos)
                name = name.substr(0, close);
            name = Trim(name);
            current = nullptr;
            if (FindSection(name) == nullptr) {
                m_sections.push_back(TSection{std::string(name), {}});
                current = &m_sections.back();
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        if (key.empty())
            continue;
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() > kLangValueMaxBytes)
            value = value.substr(0, kLangValueMaxBytes);
        bool seen = false;
        for (const TEntry& e : current->entries) {
            if (EqualsNoCase(e.key, key)) {
                seen = true;
                break;
            }
        }
        if (!seen)
            current->entries.push_back(TEntry{std::string(key), std::string(value)});
    }
}

const TLangFile::TSection* TLangFile::FindSection(std::string_view section) const {
    for (const TSection& s : m_sections) {
        if (EqualsNoCase(s.name, section))
            return &s;
    }
    return nullptr;
}

const std::string* TLangFile::FindValue(std::string_view section, std::string_view key) const {
    const TSection* s = FindSection(section);
    if (s == nullptr)
        return nullptr;
    for (const TEntry& e : s->entries) {
        if (EqualsNoCase(e.key, key))
            return &e.value;
    }
    return nullptr;
}

QString TLangFile::ReadString(std::string_view section, std::string_view key,
                              const QString& defaultValue) const {
    const std::string* value = FindValue(section, key);
    if (value == nullptr)
        return defaultValue;
    return DecodeText(*value, m_encoding.c_str());
}

std::vector<QString> TLangFile::SectionKeys(std::string_view section) const {
    std::vector<QString> keys;
    if (const TSection* s = FindSection(section)) {
        for (const TEntry& e : s->entries)
            keys.push_back(DecodeText(e.key, m_encoding.c_str()));
    }
    return keys;
}

QString ExpandLangEscapes(QString text) {
    if (!text.contains(QLatin1Char('$')))
        return text;
    text.replace(QStringLiteral("$b"), QStringLiteral(" "));
    text.replace(QStringLiteral("$c"), QStringLiteral("="));
    text.replace(QStringLiteral("$n"), QStringLiteral("\r\n"));
    text.replace(QStringLiteral("$$"), QStringLiteral("$"));
    text.replace(QStringLiteral("$t"), QStringLiteral("\t"));
    return text;
}

QString ReadLangValue(const TLangFile& reader, std::string_view section, std::string_view key,
                      const QString& defaultValue) {
    return ExpandLangEscapes(reader.ReadString(section, key, defaultValue));
}

} // namespace zadari
