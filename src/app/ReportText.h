#pragma once
// Small text helpers the fleet reports share.
#include <string>

namespace zadari {

/// A CSV field: as it is, or in double quotes (inner quotes doubled) when it holds a comma, a
/// quote or a line end.
std::string CsvField(const std::string& text);
/// Twelve hex digits as six colon-separated pairs ("001A2B3C4D5E" -> "00:1A:2B:3C:4D:5E").
std::string ColonMac(const std::string& hex);

} // namespace zadari
