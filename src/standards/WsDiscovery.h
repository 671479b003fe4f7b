#pragma once
// ONVIF device discovery over WS-Discovery (April 2005 namespaces): the Probe a client multicasts
// and the ProbeMatches, Hello and Bye messages devices send.
#include "protocols/StandardsInfo.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

inline constexpr std::uint16_t kWsdPort = 3702;
inline constexpr const char* kWsdMulticastAddress = "239.255.255.250";
/// Longer datagrams are dropped unread (a ProbeMatch is a few kilobytes).
inline constexpr std::size_t kWsdDatagramMax = 32 * 1024;
/// At most this many matches are taken from one ProbeMatches message.
inline constexpr std::size_t kWsdMatchesMax = 16;

inline constexpr std::string_view kWsdNamespace = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr std::string_view kOnvifNetworkNamespace =
    "http://www.onvif.org/ver10/network/wsdl";
inline constexpr std::string_view kOnvifDeviceNamespace = "http://www.onvif.org/ver10/device/wsdl";

/// The type a Probe asks for.
enum class TWsdProbeType {
    NetworkVideoTransmitter, ///< dn:NetworkVideoTransmitter (ONVIF 1.x and most cameras)
    Device,                  ///< tds:Device (every ONVIF device since 2.0)
};

/// The Probe for one type, addressed to the discovery group, with `messageId` (a fresh
/// "urn:uuid:..." of the caller's) as its MessageID.
std::string BuildWsdProbe(TWsdProbeType type, std::string_view messageId);

enum class TWsdKind { ProbeMatches, Hello, Bye };

struct TWsdMessage {
    TWsdKind kind = TWsdKind::ProbeMatches;
    std::string messageId;
    std::string relatesTo;             ///< a ProbeMatches' RelatesTo: the Probe's MessageID
    std::vector<TOnvifInfo> endpoints; ///< the matches; one for Hello and Bye
};

/// Reads a ProbeMatches, Hello or Bye. False for any other message, a datagram longer than
/// kWsdDatagramMax, malformed XML, a document type declaration or entity, and for a message that
/// names no endpoint address. Scopes under onvif://www.onvif.org/ fill name, hardware,
/// location, mac and serial, URL-decoded.
bool ParseWsdMessage(std::string_view datagram, TWsdMessage& message);

/// True for an ONVIF device: a NetworkVideoTransmitter of the ONVIF network namespace or a
/// Device of the ONVIF device namespace. A device that uses the usual prefixes dn: or tds:
/// without declaring them counts too when it has an onvif://www.onvif.org/ scope. A computer
/// announcing wsdp:Device pub:Computer does not.
bool IsOnvifDevice(const TOnvifInfo& info);

/// `text` with every %XX escape decoded (an invalid escape stays as it is) and control
/// characters dropped.
std::string UrlDecoded(std::string_view text);

} // namespace zadari
