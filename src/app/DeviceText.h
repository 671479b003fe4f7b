#pragma once
// How the texts a device reports (its own bytes) are shown.
#include <QString>

#include <string_view>

namespace zadari {

/// Bytes that are valid UTF-8 as UTF-8, any other bytes as Latin-1.
QString DecodeDeviceText(std::string_view bytes);

} // namespace zadari
