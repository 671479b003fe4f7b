#pragma once
// SSDP (UPnP Device Architecture): the M-SEARCH a control point multicasts, and the HTTP-over-UDP
// messages devices send: search answers and NOTIFY alive/byebye/update.
#include "protocols/StandardsInfo.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kSsdpPort = 1900;
inline constexpr const char* kSsdpMulticastAddress = "239.255.255.250";
/// Longer datagrams are dropped unread (an SSDP message is a few hundred bytes).
inline constexpr std::size_t kSsdpDatagramMax = 8 * 1024;

/// M-SEARCH to 239.255.255.250:1900 for `target` ("ssdp:all"), answers spread over `mx` seconds.
std::string BuildSsdpSearch(std::string_view target = "ssdp:all", int mx = 1);

enum class TSsdpKind { SearchAnswer, Alive, ByeBye, Update };

struct TSsdpMessage {
    TSsdpKind kind = TSsdpKind::SearchAnswer;
    /// location, server, st (NT for a NOTIFY), usn and maxAge; the description fields stay empty.
    TUpnpInfo info;
};

/// Reads a search answer ("HTTP/1.1 200 OK") or a NOTIFY. Header names are matched without
/// regard to case, values are trimmed. False for other messages (an M-SEARCH of another control
/// point, an error status), for a datagram longer than kSsdpDatagramMax or with NUL or other
/// control bytes in its head, and when USN is missing (or LOCATION, for an answer or alive).
bool ParseSsdpMessage(std::string_view datagram, TSsdpMessage& message);

/// The max-age of a CACHE-CONTROL value ("max-age=1800", "max-age = 1800, no-cache"), 0 when it
/// has none.
std::uint32_t SsdpMaxAge(std::string_view cacheControl);

} // namespace zadari
