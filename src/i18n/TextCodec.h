#pragma once
// Conversion between the legacy code pages of the language files and devices and Qt's Unicode.
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace zadari {

/// Decodes bytes of the given iconv encoding ("CP936", "CP1252", ...). Bytes that are not valid
/// in the encoding become U+FFFD; an incomplete sequence at the very end is dropped. An encoding
/// that iconv does not know decodes as Latin-1, so every input gives a defined text.
QString DecodeText(std::string_view bytes, const char* encoding);

/// Encodes text in the given iconv encoding; nothing when a character has no counterpart there.
std::optional<std::string> EncodeText(const QString& text, const char* encoding);

} // namespace zadari
