#pragma once
// How the texts a device reports (its own bytes) are shown.
#include <QString>

#include <string>
#include <string_view>

namespace zadari {

/// Bytes that are valid UTF-8 as UTF-8, any other bytes in the ANSI code page of the locale.
QString DecodeDeviceText(std::string_view bytes);

/// The bytes of a name the user gave, in the encoding the device's own name used: the device's
/// own bytes when the text is the name as shown; UTF-8 when the device's bytes were UTF-8 (or
/// plain ASCII); else the single-byte code of DecodeDeviceText.
std::string EncodeLikeDevice(const QString& text, const std::string& deviceBytes);

} // namespace zadari
