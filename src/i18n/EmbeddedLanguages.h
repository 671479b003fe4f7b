#pragma once
// The language files that travel inside the program, byte for byte as they are written to disk.
#include <cstddef>
#include <span>

namespace zadari {

struct TEmbeddedLanguageFile {
    const char* code;           ///< the language code, which names the file
    const unsigned char* bytes; ///< the file in its own code page, CR LF line ends
    std::size_t size;
};

/// The seven files in store order: cn, en, spa, b5, fr, ru, jp.
std::span<const TEmbeddedLanguageFile> EmbeddedLanguageFiles();

} // namespace zadari
