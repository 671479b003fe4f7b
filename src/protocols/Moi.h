#pragma once
// The MO_I family (2): a fixed binary layout on UDP port 10000. Its query, the reply parser and
// the network-setting command.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kMoiPort = 10000;
inline constexpr std::string_view kMoiMagic = "MO_I";
inline constexpr std::size_t kMoiQuerySize = 27;
inline constexpr std::size_t kMoiSetCommandSize = 84;

/// The 27-byte query: command 0, body length 4, body 00 00 00 01.
TBytes BuildMoiQuery();
/// Broadcasts the query to `port`; a failed send is swallowed. Always true.
bool SendMoiQuery(TDatagramSender& sender, std::uint16_t port);

/// A whole datagram and a cleared record. True for command 1 with a body of 64, 65 or 195
/// bytes; bytes past the datagram (or past 279 bytes) read as zero.
bool ParseMoiReply(std::string_view datagram, TDevInfo& record);

/// The 84-byte command 2 from the edited record and the account (each text cut to 13 bytes);
/// nothing when one of its addresses is not a dotted address.
std::optional<TBytes> BuildMoiSetCommand(const TDevInfo& edited, std::string_view userName,
                                         std::string_view password);
/// Broadcasts the command to port 10000 (the devices listen there only, so `port` is not
/// used). False when an address could not be converted (nothing is sent) or the send failed.
bool SetMoiNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                   std::string_view password, TDatagramSender& sender, std::uint16_t port);

/// True when `bytes` are well-formed UTF-8 (no stray or missing continuation bytes, no
/// overlong forms, no surrogates, nothing above U+10FFFF).
bool IsWellFormedUtf8(std::string_view bytes);

/// A dotted address as the MO_I and uicam commands convert it: four parts split at ".", each a
/// decimal integer (leading blanks and a sign allowed) stored as its low 8 bits; parts after
/// the fourth are ignored. Nothing when a part is missing or not a number.
std::optional<std::array<std::uint8_t, 4>> DottedToBytes(std::string_view text);

} // namespace zadari
