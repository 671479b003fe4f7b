#pragma once
// The network settings of an ONVIF camera as the details panel shows them (name = host name,
// HTTP port, Dynamic/Fixed, IP, mask, gateway), read through the device management calls, and
// the edited settings applied in a safe order: host name, HTTP port, gateway, and the address
// last, then a reboot when the camera asks for one.
#include "access/OnvifClient.h"
#include "protocols/DevInfo.h"

#include <QJsonObject>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

struct TOnvifNetworkSettings {
    /// The device's name: the name of its name scope when it has one, else its host name.
    std::string name;
    std::string hostname;
    bool nameFromDhcp = false;
    /// Whether the camera answered GetScopes, and what it listed.
    bool scopesKnown = false;
    std::vector<TOnvifScope> scopes;
    std::uint16_t httpPort = 80;
    bool dhcp = false;
    std::string ip;
    std::string mask;
    int prefixLength = 0;
    std::string gateway; ///< "0.0.0.0" when the device has none
    std::string interfaceToken;
    std::string mac; ///< the interface's HwAddress
    bool dnsFromDhcp = false;
    std::vector<std::string> dns; ///< the servers in use (from DHCP or set by hand)
    std::vector<std::string> searchDomains;
    TOnvifDeviceInfo device;
};

/// Whether the device's name scope may be changed: its scopes are known and its name scopes are
/// configurable ones (a camera without a name scope is not given one).
bool NameScopeWritable(const TOnvifNetworkSettings& settings);
/// The configurable scopes with every name scope replaced by the one of `name`.
std::vector<std::string> ScopesWithName(const std::vector<TOnvifScope>& scopes,
                                        std::string_view name);

/// "255.255.255.0" for 24; "" outside 0..32.
std::string PrefixToMask(int prefixLength);
/// 24 for "255.255.255.0"; false for text that is no mask with contiguous ones.
bool MaskToPrefix(std::string_view mask, int& prefixLength);
/// Letters, digits, "-" and "." in labels of 1..63 characters that neither begin nor end with
/// "-"; 253 characters at most.
bool IsValidHostname(std::string_view name);

/// Reads the settings: the clock (unauthenticated), device information, network interfaces,
/// default gateway, host name, scopes, DNS and network protocols (the last three may be refused
/// without failing the read). The interface is the one that holds
/// `listedIp` (the address the camera was found at), else the first enabled one with IPv4. The
/// HTTP port is the HTTP protocol's first port, else the port of the service address.
TOnvifResult<TOnvifNetworkSettings> ReadOnvifSettings(TOnvifClient& client,
                                                      const std::string& listedIp);

enum class TOnvifStep { kHostname, kNameScope, kHttpPort, kDns, kGateway, kAddress, kReboot };
/// "hostname", "nameScope", "httpPort", "dns", "gateway", "address", "reboot".
const char* OnvifStepName(TOnvifStep step);

struct TOnvifApplyReport : TOnvifStatus {
    /// The calls the camera accepted, in order.
    std::vector<TOnvifStep> done;
    /// SetNetworkInterfaces answered RebootNeeded.
    bool rebootNeeded = false;
    /// The service address after the apply (it follows a changed HTTP port when the service
    /// moved with it).
    std::string xaddr;

    /// Whether anything was sent that the camera took.
    bool Changed() const { return !done.empty(); }
};

/// Checks `edited` (nothing is sent when a value is refused: kBadName, kBadAddress, kBadMask,
/// kInvalidArgument), then sends only what differs from `current`, in this order:
/// - a new name: SetHostname when it is a valid host name, SetScopes with the name scope when
///   the camera's name scope may be changed (a name that fits neither is refused);
/// - SetNetworkProtocols for the HTTP port;
/// - SetDNS when DHCP goes off (the servers DHCP gave are kept by hand) or on (DNS from DHCP);
/// - SetNetworkDefaultGateway (not when the edit turns DHCP on; always when it turns it off);
/// - SetNetworkInterfaces last, followed by SystemReboot when the camera asks for it.
/// Stops at the first failure; the report says what was done before it.
TOnvifApplyReport ApplyOnvifSettings(TOnvifClient& client, const TOnvifNetworkSettings& current,
                                     const TOnvifNetworkSettings& edited);

/// Writes name, httpPort, ipMode (1 dynamic, 2 fixed), ip, mask, gateway, dnsAuto, dns1, dns2
/// (IPv4 servers) and version (the firmware) into a record for the details panel.
void OnvifSettingsToRecord(const TOnvifNetworkSettings& settings, TDevInfo& record);
/// `current` with the panel's edited values (name, httpPort, ipMode, ip, mask, gateway) of
/// `edited`. False (kInvalidArgument) for PPPoE, which ONVIF does not offer.
bool OnvifSettingsFromRecord(const TOnvifNetworkSettings& current, const TDevInfo& edited,
                             TOnvifNetworkSettings& out, TOnvifStatus* status = nullptr);

/// The settings as zadari-cli info prints them: "device" (manufacturer, model,
/// firmwareVersion, serialNumber, hardwareId), "network" (name, hostname, nameFromDhcp,
/// httpPort, dhcp, ip, mask, prefixLength, gateway, mac, interface, dnsFromDhcp, dns,
/// searchDomains) and "xaddr".
QJsonObject OnvifSettingsJson(const TOnvifNetworkSettings& settings, const std::string& xaddr);

} // namespace zadari
