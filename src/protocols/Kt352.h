#pragma once
// The KT352 family (0): tagged binary items on UDP port 4000. Its query, the reply parser and
// the network-setting command.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kKt352Port = 4000;
inline constexpr std::size_t kKt352MessageSize = 256;
inline constexpr std::string_view kKt352Magic = "KT352";

/// The 256-byte query: the magic, the fourteen items with zero values, zeros to the end.
TBytes BuildKt352Query();
/// Broadcasts the query to `port`; a failed send is swallowed. True when it went out.
bool SendKt352Query(TDatagramSender& sender, std::uint16_t port);

/// A whole datagram and a cleared record. True when the datagram starts with "KT352" (a reply
/// without items is accepted); items are read at their fixed widths, whatever their length
/// byte says, and an item whose value would run past the datagram is skipped.
bool ParseKt352Reply(std::string_view datagram, TDevInfo& record);

/// The 256-byte setting command that moves the device `listed` to `edited`, or nothing when no
/// item but the assignment would be written and the assignment is unchanged.
std::optional<TBytes> BuildKt352SetCommand(const TDevInfo& listed, const TDevInfo& edited);
/// False when the edited port is a new one of five digits, which the four-character port item
/// cannot carry.
bool Kt352CanCarryPort(const TDevInfo& listed, const TDevInfo& edited);
/// Builds the command and, after a 10 ms pause, broadcasts it to `port`. False when there was
/// nothing to change or the port cannot be carried (nothing is sent), or the send failed.
bool SetKt352Network(const TDevInfo& listed, const TDevInfo& edited, TDatagramSender& sender,
                     std::uint16_t port);

/// An IPv4 text as the classic inet_addr reads it (one to four parts, each decimal, octal with
/// a leading 0 or hexadecimal with 0x; trailing blanks allowed), in network order;
/// 255.255.255.255 for a text that is not an address.
std::array<std::uint8_t, 4> InetAddrBytes(std::string_view text);

} // namespace zadari
