#pragma once
// The "DH" family (family 9): its UDP search and settings datagrams on port 8600, and the texts
// of its HTTP interface (the status page's firmware version, the upload addresses).
#include "protocols/Bytes.h"
#include "protocols/DevInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kDhPort = 8600;
/// Local port the search listens on; a second search while it is held sends nothing.
inline constexpr std::uint16_t kDhSearchLocalPort = 3565;
inline constexpr std::size_t kDhSearchReplyMax = 1024;
inline constexpr std::size_t kDhSettingsRequestSize = 324;
inline constexpr std::size_t kDhSettingsAckMax = 328;
/// Acknowledgement status of settings the device took.
inline constexpr std::uint32_t kDhAccepted = 0x8000;
/// Firmware from this version on takes its upload on port 8600 instead of the web port.
inline constexpr std::string_view kDhPort8600Version = "84.2.0.121";

/// The 4-byte search request "DH" 01 01.
TBytes BuildDhSearchRequest();

/// Fills `info` from a search reply ("DH" 01 08). False, leaving `info` alone, for any other
/// datagram. A short reply reads as zero-padded.
bool ParseDhSearchReply(TByteView datagram, TDevInfo& info);

/// The 324-byte settings request for the device whose MAC `settings.macKey` names. Texts longer
/// than their field are cut so that each keeps its terminating NUL inside its own field.
TBytes BuildDhSettingsRequest(std::string_view user, std::string_view password,
                              const TDevInfo& settings);

/// The status of a settings acknowledgement ("DH" 02 08), or nothing for any other datagram.
std::optional<std::uint32_t> ParseDhSettingsAck(TByteView datagram);

/// The status page the upgrade reads first: baseUrl/get_Status.cgi?user=..&pwd=..
std::string DhStatusUrl(std::string_view baseUrl, std::string_view user, std::string_view password);

/// The firmware version a status page gives in its item sys_ver="..."; "" when the page has
/// no such item (an error page, say).
std::string DhSysVersionOf(std::string_view statusPage);

/// The host of an "http://host[:port]" base address, without the port.
std::string DhHostOf(std::string_view baseUrl);

/// Where the firmware upload goes: baseUrl for versions that sort before kDhPort8600Version as
/// plain bytes (an empty one too), else port 8600 of the same host. Then the CGI and account.
std::string DhFirmwareUploadUrl(std::string_view baseUrl, std::string_view user,
                                std::string_view password, std::string_view version);

/// The web-UI upload always goes to baseUrl.
std::string DhWebUiUploadUrl(std::string_view baseUrl, std::string_view user,
                             std::string_view password);

} // namespace zadari
