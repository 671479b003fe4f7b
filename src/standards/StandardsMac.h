#pragma once
// The MAC address a device states in what the standard protocols carry. Rows of the list are
// matched on it, so a text counts only when it is plainly a MAC: a wrong one would merge two
// devices into one row.
#include "protocols/StandardsInfo.h"

#include <string>
#include <string_view>

namespace zadari {

/// 12 upper-case hexadecimal digits from "00:1a:2b:3c:4d:5e", "00-1A-2B-3C-4D-5E",
/// "001a.2b3c.4d5e" or "001A2B3C4D5E" (surrounding blanks ignored); "" for anything else, for
/// the all-zero and all-ones addresses and for a group (multicast) address.
std::string NormalisedMac(std::string_view text);

/// From the mac scope.
std::string MacOfOnvif(const TOnvifInfo& info);

/// From a serial number or UDN ("uuid:" then the MAC) that is a MAC as a whole, written with
/// separators or as 12 digits with at least one letter among them (a number of 12 decimal
/// digits is taken for a serial number).
std::string MacOfUpnp(const TUpnpInfo& info);

/// From a TXT "macaddress=" or "mac=" (keys without regard to case).
std::string MacOfMdns(const TMdnsInfo& info);

} // namespace zadari
