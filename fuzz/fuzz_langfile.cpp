// Fuzz target: the language-file reader, value decoding and the escape expansion.
// Input: one byte choosing the file's code page, then the file's bytes.
#include "i18n/LangFile.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

const char* const kEncodings[] = {"CP936", "CP1252", "CP950", "CP932", "CP1251", "ASCII", "UTF-8"};

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const char* encoding = kEncodings[data[0] % std::size(kEncodings)];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const zadari::TLangFile file(bytes, encoding);

    for (const zadari::TLangFile::TSection& section : file.Sections()) {
        (void)file.SectionKeys(section.name);
        for (const zadari::TLangFile::TEntry& entry : section.entries) {
            Check(entry.value.size() <= zadari::kLangValueMaxBytes);
            Check(!entry.key.empty());
            // The first entry of a key is the one every read finds, whatever its case.
            const std::string* found = file.FindValue(section.name, entry.key);
            Check(found != nullptr);
            const QString value = zadari::ReadLangValue(file, section.name, entry.key, QString());
            Check(value.size() <= static_cast<qsizetype>(2 * entry.value.size() + 1));
        }
    }
    // Lookups the program makes, and the input itself as a default with its escapes.
    (void)zadari::ReadLangValue(file, "StrRes", "IDS_ERROR", QString());
    (void)zadari::ReadLangValue(file, "Form_frmMain", "Caption",
                                QStringLiteral("ZI Zadari Rurova"));
    (void)zadari::ReadLangValue(file, "Lans", "English", QString());
    (void)zadari::ExpandLangEscapes(
        QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return 0;
}
