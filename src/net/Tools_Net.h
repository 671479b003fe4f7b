#pragma once
// Address helpers shared by the discovery engine and the device protocols: IPv4 text and bytes,
// the numeric address comparison of the list's IP column, and binding a UDP endpoint to the first
// free port of a range.
#include "protocols/Bytes.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class QUdpSocket;

namespace zadari {

/// A text that should have been a number was not one.
class EConvertError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

using TIpBytes = std::array<std::uint8_t, 4>;

class TTools_Net {
public:
    TTools_Net() = delete;

    /// Binds `socket` to any IPv4 address on the first port at or above `firstPort` that is not
    /// in use (ports firstPort .. firstPort+999), so it starts receiving. False when none binds.
    static bool BindUdpServer(QUdpSocket& socket, int firstPort);

    /// Dotted decimal of the four bytes in wire order ("0.0.0.0" for zeros).
    static std::string IpBytesToText(const TIpBytes& address);
    /// The same for the first four bytes of `address` (missing bytes count as 0).
    static std::string IpBytesToText(TByteView address);

    /// Four bytes from dotted text: each of the first four parts read as a decimal integer
    /// (leading blanks and a sign allowed), its low 8 bits stored; parts after the fourth are
    /// ignored. Throws EConvertError when a part is empty or not a number.
    static TIpBytes IpTextToBytes(std::string_view text);

    /// Numeric comparison of dotted addresses, part by part (a part that is not a number counts
    /// as 0); texts with a different number of parts are compared by CompareText. Negative, 0 or
    /// positive. Not a strict weak order across part counts: never sort with it.
    static int CompareIp(std::string_view a, std::string_view b);

    /// The order the list sorts its IP column by: the numeric values of the parts compared
    /// lexicographically, a shorter address first when it is a prefix of the longer. For the
    /// same number of parts it gives exactly CompareIp; unlike CompareIp it is a strict weak
    /// order for any texts, so sorting with it is safe.
    static int CompareIpOrder(std::string_view a, std::string_view b);
    /// The key CompareIpOrder compares: the value of every part (0 for a non-number part).
    static std::vector<std::int32_t> IpSortKey(std::string_view text);
    /// Compares two keys made by IpSortKey exactly as CompareIpOrder compares their texts.
    static int CompareIpSortKeys(const std::vector<std::int32_t>& a,
                                 const std::vector<std::int32_t>& b);

    /// One part read as the platform's string-to-integer conversion does: optional leading
    /// blanks, an optional sign, one or more decimal digits and nothing after them, within the
    /// range of int32. False for anything else.
    static bool ReadIpPart(std::string_view part, std::int32_t& value);
};

} // namespace zadari
