#pragma once
// CTP family (code 5): text search and reply on UDP port 7999, and its "CMD setip" command.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kCtpPort = 7999;

/// "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n" (34 bytes).
std::string BuildCtpSearch();
/// Broadcasts the search to `port`; a failed send is ignored, the result is always true.
bool SendCtpSearch(TDatagramSender& sender, std::uint16_t port = kCtpPort);

/// Fills `record` from a datagram that begins with "REPLY"; false for anything else.
bool ParseCtpReply(std::string_view datagram, TDevInfo& record);

/// The text cut into two-character pieces counted from its end, joined with ":" (an odd first
/// character is dropped; fewer than two characters give "").
std::string MacWithColons(std::string_view text);

/// The "CMD setip" request: the device is addressed by its current (listed) address, the new
/// values come from `edited`. Empty when a value holds a line break and would corrupt the
/// request's lines.
std::string BuildCtpSetCommand(const TDevInfo& listed, const TDevInfo& edited,
                               std::string_view password);
/// Broadcasts the setip request to port 7999 (the devices listen there only, so `port` is not
/// used). False when it could not be built or sent.
bool SetCtpNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view password,
                   TDatagramSender& sender, std::uint16_t port = kCtpPort);

} // namespace zadari
