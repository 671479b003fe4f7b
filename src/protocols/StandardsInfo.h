#pragma once
// What the standard discovery protocols (ONVIF WS-Discovery, SSDP/UPnP, mDNS/DNS-SD) say about a
// device. Texts are as the device sent them, decoded where the protocol encodes them (URL escapes
// in ONVIF scopes, XML character references); nothing here is trusted for more than display and
// matching.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zadari {

/// One WS-Discovery target service (a ProbeMatch, Hello or Bye).
struct TOnvifInfo {
    std::string endpoint;            ///< EndpointReference/Address, "urn:uuid:..." for ONVIF
    std::vector<std::string> types;  ///< each as "{namespace}localName"
    std::vector<std::string> scopes; ///< as sent, one URI each
    std::vector<std::string> xaddrs; ///< transport addresses of the device service
    std::uint32_t metadataVersion = 0;
    std::string name;     ///< onvif://www.onvif.org/name/..., URL-decoded
    std::string hardware; ///< onvif://www.onvif.org/hardware/...
    std::string location; ///< onvif://www.onvif.org/location/... (several joined by ", ")
    std::string mac;      ///< a mac scope as the device wrote it (not normalised)
    std::string serial;   ///< a serial scope

    bool operator==(const TOnvifInfo&) const = default;
};

/// One UPnP root device: its SSDP answer and, once fetched, its description.
struct TUpnpInfo {
    // From the SSDP answer or NOTIFY.
    std::string location;
    std::string server;
    std::string st; ///< ST of a search answer, NT of a NOTIFY
    std::string usn;
    std::uint32_t maxAge = 0; ///< CACHE-CONTROL max-age in seconds, 0 when absent
    // From the device description (root device only).
    std::string friendlyName;
    std::string manufacturer;
    std::string modelName;
    std::string modelNumber;
    std::string serialNumber;
    std::string udn;
    std::string presentationUrl; ///< absolute: resolved against URLBase or the LOCATION
    std::string deviceType;

    bool operator==(const TUpnpInfo&) const = default;
};

/// One DNS-SD service instance.
struct TMdnsInfo {
    std::string instance;                  ///< the instance label ("AXIS M3045 - ACCC8E012345")
    std::vector<std::string> serviceTypes; ///< "_axis-video._tcp", without the domain
    std::string host;                      ///< SRV target ("axis-accc8e012345.local")
    std::uint16_t port = 0;                ///< SRV port
    std::vector<std::string> addresses;    ///< IPv4 addresses of the host, dotted
    std::vector<std::string> txt;          ///< TXT strings as sent ("key=value", "flag")

    bool operator==(const TMdnsInfo&) const = default;
};

/// What each standard protocol that found the device said; a protocol that did not is empty.
struct TStandardsInfo {
    std::optional<TOnvifInfo> onvif;
    std::optional<TUpnpInfo> upnp;
    std::optional<TMdnsInfo> mdns;

    bool Empty() const { return !onvif && !upnp && !mdns; }
    bool operator==(const TStandardsInfo&) const = default;
};

/// A record's standards findings, shared by the record's copies (most rows have none, and a row
/// is copied on every reply) and compared by value. Changing it copies first when shared.
class TStandardsRef {
public:
    TStandardsRef() = default;
    explicit TStandardsRef(TStandardsInfo info);

    bool Empty() const { return !info_ || info_->Empty(); }
    /// The findings; an empty set when there are none.
    const TStandardsInfo& Get() const;
    const TStandardsInfo* operator->() const { return &Get(); }
    /// A copy of its own to change.
    TStandardsInfo& Edit();
    void Reset() { info_.reset(); }

    bool operator==(const TStandardsRef& other) const;

private:
    std::shared_ptr<TStandardsInfo> info_;
};

/// The family code of a protocol (kFamilyOnvif, kFamilyUpnp, kFamilyMdns), the first that found
/// the device in that order; -1 when none did.
std::int32_t StandardsFamily(const TStandardsInfo& info);

/// The device's name: the ONVIF name scope, else the UPnP friendlyName, else the DNS-SD instance.
std::string StandardsName(const TStandardsInfo& info);

/// Takes over every protocol that `from` carries; true when `into` changed.
bool MergeStandards(TStandardsInfo& into, const TStandardsInfo& from);

/// Forgets what the protocol of family code `family` said; true when it had said something.
bool DropStandard(TStandardsInfo& info, std::int32_t family);

} // namespace zadari
