#pragma once
// uicam family (code 3): "uicam query" and the "uiv2" reply on UDP port 10139, and the "uisp"
// setting command built from the stored reply.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kUicamPort = 10139;
/// The reply is kept at this size (cut or zero-padded); the setting command has the same size.
inline constexpr std::size_t kUicamMessageSize = 520;
/// The setting command writes its strings from here on.
inline constexpr std::size_t kUicamCommandStrings = 62;

/// Broadcasts "uicam query" (11 bytes) to `port`; a failed send is ignored, always true.
bool SendUicamQuery(TDatagramSender& sender, std::uint16_t port = kUicamPort);

/// Fills `record` from a datagram that begins with "uiv2" (false otherwise) and keeps the reply,
/// cut or zero-padded to 520 bytes, as `rawReply`.
bool ParseUicamReply(std::string_view datagram, TDevInfo& record);

/// The 520-byte "uisp" command made from `listed.rawReply` and the edited values. False (and
/// `command` untouched) when the listed record has no stored reply, when an address of `edited`
/// is not a dotted address, or when the rewritten strings would not fit in the 520 bytes.
bool BuildUicamSetCommand(const TDevInfo& listed, const TDevInfo& edited, TBytes& command);

/// Broadcasts the command to `port`. False when it could not be built or sent.
bool SetUicamNetwork(const TDevInfo& listed, const TDevInfo& edited, TDatagramSender& sender,
                     std::uint16_t port = kUicamPort);

} // namespace zadari
