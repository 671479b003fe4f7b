#pragma once
// DNS-SD over multicast DNS: the one-shot PTR queries we send from a port of our own (not 5353,
// so responders answer by unicast and the system's own responder is left alone) and the answers.
// The DNS wire format, name compression included, is read by ldns.
#include "protocols/Bytes.h"
#include "protocols/StandardsInfo.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

inline constexpr std::uint16_t kMdnsPort = 5353;
inline constexpr const char* kMdnsMulticastAddress = "224.0.0.251";
/// The largest multicast DNS message (RFC 6762 section 17); longer datagrams are dropped.
inline constexpr std::size_t kMdnsDatagramMax = 9000;
/// At most this many instances are taken from one answer.
inline constexpr std::size_t kMdnsInstancesMax = 64;

/// The service type enumeration and the service types cameras register.
inline constexpr std::string_view kMdnsServiceEnumeration = "_services._dns-sd._udp.local";
inline constexpr std::array<std::string_view, 4> kMdnsCameraServiceTypes = {
    "_axis-video._tcp.local", "_onvif._tcp.local", "_rtsp._tcp.local", "_http._tcp.local"};

/// A query with one PTR question (class IN, unicast-response bit set) per name of `names`
/// ("_http._tcp.local"), with the message ID `id` (a one-shot answer repeats it). Names that are
/// not valid DNS names are left out; an empty list gives an empty message.
TBytes BuildMdnsQuery(std::uint16_t id, const std::vector<std::string_view>& names);

struct TMdnsAnswer {
    std::uint16_t id = 0;
    /// Service types named by answers to the enumeration ("_axis-video._tcp.local").
    std::vector<std::string> serviceTypes;
    /// Instances from PTR, SRV and TXT records, with the A records of their hosts.
    std::vector<TMdnsInfo> instances;
};

/// Reads a DNS response: PTR, SRV, TXT and A records of the answer, authority and additional
/// sections alike. False for a query, an error response, a datagram longer than
/// kMdnsDatagramMax, any malformed message (a compression pointer loop, a name or record past
/// the end), and for a response that names neither a service type nor an instance.
bool ParseMdnsAnswer(TByteView datagram, TMdnsAnswer& answer);

} // namespace zadari
