#pragma once
// The reader of the language files: INI text in the file's own code page, read by the rules of
// the Windows profile functions that the files were written for.
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace zadari {

/// Longest value a read returns, in bytes; longer values are cut there.
inline constexpr std::size_t kLangValueMaxBytes = 2047;

/// A parsed language file. Section and key names match without regard to ASCII case; blanks and
/// tabs around keys and values are ignored; lines without "=" carry nothing. When a section or
/// key occurs twice, the first one counts.
class TLangFile {
public:
    struct TEntry {
        std::string key;
        std::string value; ///< the file's bytes, trimmed and cut to kLangValueMaxBytes
    };
    struct TSection {
        std::string name;
        std::vector<TEntry> entries; ///< in file order
    };

    TLangFile() = default;
    /// Parses file bytes; `encoding` is the iconv name the values are decoded with.
    TLangFile(std::string_view bytes, std::string encoding);

    /// Reads and parses a file. A file that cannot be read gives an empty reader (Loaded() false)
    /// whose every read yields its default.
    static TLangFile Open(const QString& path, std::string encoding);

    bool Loaded() const { return m_loaded; }
    const std::string& Encoding() const { return m_encoding; }

    /// The raw value bytes of key in section, or nullptr when there is none.
    const std::string* FindValue(std::string_view section, std::string_view key) const;
    /// The section of that name, or nullptr.
    const TSection* FindSection(std::string_view section) const;
    const std::vector<TSection>& Sections() const { return m_sections; }

    /// A value decoded from the file's encoding (no escapes expanded); `defaultValue` when the
    /// key is missing.
    QString ReadString(std::string_view section, std::string_view key,
                       const QString& defaultValue) const;
    /// The key names of a section, decoded, in file order.
    std::vector<QString> SectionKeys(std::string_view section) const;

private:
    void Parse(std::string_view bytes);

    std::vector<TSection> m_sections;
    std::string m_encoding = "CP1252";
    bool m_loaded = false;
};

/// Expands the escapes of the language files: "$b" space, "$c" "=", "$n" CR LF, "$$" "$",
/// "$t" tab, as five whole-text replacements in that order.
QString ExpandLangEscapes(QString text);

/// One value with its escapes expanded; the default (also expanded) when the key is missing.
QString ReadLangValue(const TLangFile& reader, std::string_view section, std::string_view key,
                      const QString& defaultValue);

/// ASCII-only case-insensitive equality, the way section and key names are matched.
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace zadari
