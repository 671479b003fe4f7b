#pragma once
// How the texts a device reports (its own bytes) are shown.
#include <QString>

#include <string_view>

namespace zadari {

/// Bytes that are valid UTF-8 as UTF-8, any other bytes in the ANSI code page of the locale.
QString DecodeDeviceText(std::string_view bytes);

} // namespace zadari
