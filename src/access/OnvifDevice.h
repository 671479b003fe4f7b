#pragma once
// The device management calls the program makes: their request bodies and the typed values read
// from their answers. Texts are UTF-8; nothing here touches the network.
#include "access/OnvifSoap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

/// GetSystemDateAndTime.
struct TOnvifSystemTime {
    std::string dateTimeType; ///< "Manual" or "NTP"
    bool daylightSavings = false;
    std::string timeZone; ///< POSIX TZ text
    bool hasUtc = false;
    std::int64_t utcMsecs = 0; ///< the device's UTC clock, milliseconds since 1970
};

/// GetDeviceInformation.
struct TOnvifDeviceInfo {
    std::string manufacturer;
    std::string model;
    std::string firmwareVersion;
    std::string serialNumber;
    std::string hardwareId;
};

struct TOnvifIPv4 {
    std::string address;
    int prefixLength = 0;
    bool operator==(const TOnvifIPv4&) const = default;
};

/// One entry of GetNetworkInterfaces.
struct TOnvifNetworkInterface {
    std::string token;
    bool enabled = false;
    std::string name;      ///< Info/Name
    std::string hwAddress; ///< Info/HwAddress, the MAC as the device writes it
    int mtu = 0;
    bool hasIPv4 = false;
    bool ipv4Enabled = false;
    bool dhcp = false;
    std::vector<TOnvifIPv4> manual;
    std::optional<TOnvifIPv4> linkLocal;
    std::optional<TOnvifIPv4> fromDhcp;
};

/// GetNetworkDefaultGateway, SetNetworkDefaultGateway.
struct TOnvifGateway {
    std::vector<std::string> ipv4;
    std::vector<std::string> ipv6;
};

/// GetDNS.
struct TOnvifDns {
    bool fromDhcp = false;
    std::vector<std::string> searchDomains;
    std::vector<std::string> dnsFromDhcp; ///< IPv4 and IPv6 addresses as text
    std::vector<std::string> dnsManual;
};

/// GetHostname.
struct TOnvifHostname {
    bool fromDhcp = false;
    std::string name;
};

/// One entry of GetScopes.
struct TOnvifScope {
    bool fixed = false; ///< ScopeDef "Fixed"; "Configurable" scopes may be replaced by SetScopes
    std::string item;   ///< the scope URI as the device wrote it
};

/// The scope that names a device ("onvif://www.onvif.org/name/" and the URL-encoded name).
inline constexpr char kOnvifNameScope[] = "onvif://www.onvif.org/name/";
/// Whether `item` is a name scope; its decoded name in `name` when it is.
bool OnvifNameOfScope(std::string_view item, std::string* name = nullptr);
/// The name scope of `name` (every character outside the URI's unreserved set escaped).
std::string OnvifNameScope(std::string_view name);

/// One entry of GetNetworkProtocols / SetNetworkProtocols ("HTTP", "HTTPS", "RTSP").
struct TOnvifNetworkProtocol {
    std::string name;
    bool enabled = false;
    std::vector<int> ports;
};

/// What SetNetworkInterfaces gives the IPv4 part of one interface.
struct TOnvifIPv4Setting {
    bool dhcp = false;
    TOnvifIPv4 manual; ///< used when dhcp is false
};

/// One request of the device service: its operation name (the action is the device namespace,
/// "/" and this name) and its body.
struct TOnvifCall {
    std::string operation;
    TSoapBodyWriter body;

    std::string Action() const;
    /// The local name of the answer's element: operation + "Response".
    std::string ResponseName() const;
};

/// A call without arguments: GetSystemDateAndTime, GetDeviceInformation, GetNetworkInterfaces,
/// GetNetworkDefaultGateway, GetDNS, GetHostname, GetNetworkProtocols, GetScopes, SystemReboot.
TOnvifCall OnvifPlainCall(const char* operation);
/// SetDNS: FromDHCP, the search domains and (when not from DHCP) the servers (IPv4 or IPv6).
TOnvifCall SetDnsCall(const TOnvifDns& dns);
/// SetScopes: the configurable scopes the device is to have (they replace all it has).
TOnvifCall SetScopesCall(const std::vector<std::string>& scopes);
TOnvifCall SetNetworkInterfacesCall(const std::string& token, const TOnvifIPv4Setting& ipv4);
TOnvifCall SetNetworkDefaultGatewayCall(const TOnvifGateway& gateway);
TOnvifCall SetHostnameCall(const std::string& name);
TOnvifCall SetNetworkProtocolsCall(const std::vector<TOnvifNetworkProtocol>& protocols);

// Readers of the response elements. Each checks the element's name and returns false when the
// answer lacks what the call must give.
bool DecodeSystemDateAndTime(const TXmlElement& response, TOnvifSystemTime& out);
bool DecodeDeviceInformation(const TXmlElement& response, TOnvifDeviceInfo& out);
bool DecodeNetworkInterfaces(const TXmlElement& response, std::vector<TOnvifNetworkInterface>& out);
bool DecodeNetworkDefaultGateway(const TXmlElement& response, TOnvifGateway& out);
bool DecodeDns(const TXmlElement& response, TOnvifDns& out);
bool DecodeHostname(const TXmlElement& response, TOnvifHostname& out);
bool DecodeNetworkProtocols(const TXmlElement& response, std::vector<TOnvifNetworkProtocol>& out);
bool DecodeScopes(const TXmlElement& response, std::vector<TOnvifScope>& out);
/// SetNetworkInterfacesResponse: whether the device needs a reboot to use the settings.
bool DecodeRebootNeeded(const TXmlElement& response, bool& rebootNeeded);
/// SystemRebootResponse: the device's message.
bool DecodeSystemReboot(const TXmlElement& response, std::string& message);

/// xs:boolean: "true"/"1" and "false"/"0" (surrounding blanks allowed).
std::optional<bool> ParseXsBoolean(const QString& text);

} // namespace zadari
