#pragma once
// Encoding helpers shared by the device families' messages.
#include "protocols/Bytes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

/// Every byte as two upper-case hexadecimal digits, no separators.
std::string BytesToHex(TByteView bytes);
inline std::string BytesToHex(const std::uint8_t* bytes, std::size_t n) {
    return BytesToHex(TByteView(bytes, n));
}

/// n bytes from 2n hexadecimal digits. Only "0"-"9" and upper-case "A"-"F" give their values
/// (devices write them that way); a missing digit counts as zero.
TBytes HexToBytes(std::string_view text, std::size_t n);

/// The MAC normalised for comparison: "-" and ":" removed, blanks as "0", letters upper case.
std::string MacKeyOf(std::string_view mac);

/// One tagged item of a KT352-style message. `templateRow` is tag, length and default value
/// bytes. Without a value the first n bytes of the row are appended; with a value the row's tag
/// and length and then the first n - 2 value bytes (zero where the value is shorter).
void PutItem(TBytes& message, TByteView templateRow, std::size_t n);
void PutItem(TBytes& message, TByteView templateRow, TByteView value, std::size_t n);

/// Splits `text` at every occurrence of `separator`, appending the pieces (empty ones too) to
/// `list`. An empty text gives one empty piece; an empty separator is never found.
void SplitText(std::string_view text, std::string_view separator, std::vector<std::string>& list);

/// ASCII-only case-insensitive comparison: a-z folded to upper case, then byte order; a prefix
/// sorts first. Negative, zero or positive.
int CompareText(std::string_view a, std::string_view b);

} // namespace zadari
