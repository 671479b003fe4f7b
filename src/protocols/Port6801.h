#pragma once
// Port-6801 binary family (code 8): the search, the three-step exchange in which the system
// answers the device twice, and the 0x0F02 setting command. Messages start with 0x10 0x10 and a
// little-endian command code in bytes 2-3.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"
#include "protocols/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kPort6801 = 6801;

inline constexpr std::uint16_t k6801Search = 0x0F01;
inline constexpr std::uint16_t k6801SearchAnswer = 0x8F01;
inline constexpr std::uint16_t k6801SearchReply = 0x0F12;
inline constexpr std::uint16_t k6801Settings = 0x8F12;
inline constexpr std::uint16_t k6801SettingsReply = 0x0F0F;
inline constexpr std::uint16_t k6801Ddns = 0x8F0F;
inline constexpr std::uint16_t k6801SetNetwork = 0x0F02;

/// Both answers of the exchange are this long: 8 header bytes and 128 payload bytes.
inline constexpr std::size_t k6801AnswerSize = 136;
/// The setting command: 8 header bytes and two 128-byte settings blocks.
inline constexpr std::size_t k6801SetCommandSize = 264;

/// The command code of a message (bytes 2-3, little-endian); 0 when it has fewer than 4 bytes.
std::uint16_t Message6801Code(std::string_view datagram);

/// 10 10 01 0F 00 00 00 00.
TBytes Build6801Search();
/// Broadcasts the search to `port`; a failed send is ignored, always true.
bool SendBin6801Search(TDatagramSender& sender, std::uint16_t port = kPort6801);

/// The 0x0F12 answer to a 0x8F01 message: its first 8 bytes with code 0x0F12 and length 128,
/// then its bytes 12-139. Bytes a short message lacks are sent as zeros.
TBytes Build6801SearchReply(std::string_view datagram);
/// For a 0x8F01 message broadcasts the 0x0F12 answer to `port` (a failed send is ignored) and
/// returns true; false for any other message.
bool Answer6801Search(std::string_view datagram, TDatagramSender* sender,
                      std::uint16_t port = kPort6801);

/// The 0x0F0F answer to a 0x8F12 message: its first 8 bytes with code 0x0F0F and length 128,
/// then its settings block (bytes 8-135), zeros where the message is shorter.
TBytes Build6801SettingsReply(std::string_view datagram);
/// For a 0x8F12 message fills `record`, broadcasts the 0x0F0F answer to `port` (a failed send
/// is ignored) and returns true; false (record untouched, nothing sent) for any other message.
bool Parse6801Settings(std::string_view datagram, TDevInfo& record, TDatagramSender* sender,
                       std::uint16_t port = kPort6801);

/// What a 0x8F0F message says about a device already listed.
struct T6801Ddns {
    std::string mac; ///< BytesToHex of bytes 96-101
    std::string host;
    std::string user;
    std::string password;
};
/// For a 0x8F0F message fills `ddns` and returns true; false for any other message.
bool Parse6801Ddns(std::string_view datagram, T6801Ddns& ddns);

/// Whether a settings record is listed: only firmware versions beginning "0." or "10.".
bool Is6801VersionListed(std::string_view version);

/// The family-8 exchange for a datagram whose bytes 0 and 1 are 0x10 0x10 (at least 3 bytes).
bool Handle6801Message(std::string_view datagram, TDevInfo& record,
                       const TDispatchContext& context);

/// The 264-byte 0x0F02 command: a settings block from `listed`, then one from `edited`.
TBytes Build6801SetCommand(const TDevInfo& listed, const TDevInfo& edited);
/// Broadcasts the command to `port`; false when the send failed.
bool SetBin6801Network(const TDevInfo& listed, const TDevInfo& edited, TDatagramSender& sender,
                       std::uint16_t port = kPort6801);

} // namespace zadari
