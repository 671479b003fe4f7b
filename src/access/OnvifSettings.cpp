#include "access/OnvifSettings.h"

#include <QJsonArray>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace zadari {

namespace {

std::optional<std::uint32_t> ParseDotted(std::string_view text) {
    std::uint32_t value = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        int part = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            part = part * 10 + (text[i] - '0');
            if (++digits > 3 || part > 255)
                return std::nullopt;
            ++i;
        }
        value = (value << 8) | static_cast<std::uint32_t>(part);
        if (++parts < 4) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
    }
    if (i != text.size())
        return std::nullopt;
    return value;
}

std::uint32_t MaskOf(int prefixLength) {
    return prefixLength <= 0 ? 0u : ~std::uint32_t{0} << (32 - prefixLength);
}

/// A unicast host address that a camera can hold within its subnet.
bool IsHostAddress(std::string_view text, int prefixLength) {
    const std::optional<std::uint32_t> address = ParseDotted(text);
    if (!address)
        return false;
    const std::uint32_t first = *address >> 24;
    if (first == 0 || first == 127 || first >= 224)
        return false;
    if (prefixLength > 0 && prefixLength < 31) {
        const std::uint32_t host = *address & ~MaskOf(prefixLength);
        if (host == 0 || host == ~MaskOf(prefixLength))
            return false; // the subnet's own or its broadcast address
    }
    return true;
}

int PortOf(const std::string& xaddr) {
    const QUrl url(QString::fromStdString(xaddr));
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

bool Transport(const TOnvifStatus& status) {
    return status.error == TOnvifError::kConnect || status.error == TOnvifError::kTimeout ||
           status.error == TOnvifError::kNoService || status.error == TOnvifError::kNotAuthorized;
}

const TOnvifNetworkInterface* ChooseInterface(const std::vector<TOnvifNetworkInterface>& all,
                                              const std::string& listedIp) {
    for (const TOnvifNetworkInterface& item : all) {
        if (item.fromDhcp && item.fromDhcp->address == listedIp)
            return &item;
        for (const TOnvifIPv4& manual : item.manual) {
            if (manual.address == listedIp)
                return &item;
        }
    }
    for (const TOnvifNetworkInterface& item : all) {
        if (item.enabled && item.hasIPv4 && item.ipv4Enabled)
            return &item;
    }
    return all.empty() ? nullptr : &all.front();
}

/// After the HTTP port changed, the device service may have moved with it. Try the new port
/// first; keep the old address when nothing listens there yet (the camera moves on restart).
void FollowHttpPort(TOnvifClient& client, int oldPort, int newPort) {
    QUrl url(QString::fromStdString(client.XAddr()));
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    if (url.port(defaultPort) != oldPort)
        return; // the service lives on a port of its own
    const std::string old = client.XAddr();
    url.setPort(newPort == defaultPort ? -1 : newPort);
    client.SetXAddr(url.toString(QUrl::FullyEncoded).toStdString());
    const TOnvifStatus probe = client.GetSystemDateAndTime();
    if (probe.error == TOnvifError::kConnect || probe.error == TOnvifError::kTimeout)
        client.SetXAddr(old);
}

template <class T> void TakeStatus(TOnvifStatus& to, const TOnvifResult<T>& from) {
    to = static_cast<const TOnvifStatus&>(from);
}

} // namespace

std::string PrefixToMask(int prefixLength) {
    if (prefixLength < 0 || prefixLength > 32)
        return {};
    const std::uint32_t mask = MaskOf(prefixLength);
    return std::to_string(mask >> 24) + "." + std::to_string((mask >> 16) & 0xFF) + "." +
           std::to_string((mask >> 8) & 0xFF) + "." + std::to_string(mask & 0xFF);
}

bool MaskToPrefix(std::string_view mask, int& prefixLength) {
    const std::optional<std::uint32_t> value = ParseDotted(mask);
    if (!value)
        return false;
    int ones = 0;
    while (ones < 32 && (*value & (0x80000000u >> ones)) != 0)
        ++ones;
    if (MaskOf(ones) != *value)
        return false;
    prefixLength = ones;
    return true;
}

bool IsValidHostname(std::string_view name) {
    if (name.empty() || name.size() > 253)
        return false;
    std::size_t label = 0;
    char previous = '.';
    for (const char c : name) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (c == '.') {
            if (label == 0 || previous == '-')
                return false;
            label = 0;
        } else if (letterOrDigit || c == '-') {
            if (c == '-' && label == 0)
                return false;
            if (++label > 63)
                return false;
        } else {
            return false;
        }
        previous = c;
    }
    return label > 0 && previous != '-';
}

bool NameScopeWritable(const TOnvifNetworkSettings& settings) {
    bool configurable = false;
    for (const TOnvifScope& scope : settings.scopes) {
        if (!OnvifNameOfScope(scope.item))
            continue;
        if (scope.fixed)
            return false;
        configurable = true;
    }
    return settings.scopesKnown && configurable;
}

std::vector<std::string> ScopesWithName(const std::vector<TOnvifScope>& scopes,
                                        std::string_view name) {
    std::vector<std::string> items;
    for (const TOnvifScope& scope : scopes) {
        if (!scope.fixed && !OnvifNameOfScope(scope.item))
            items.push_back(scope.item);
    }
    items.push_back(OnvifNameScope(name));
    return items;
}

const char* OnvifStepName(TOnvifStep step) {
    switch (step) {
    case TOnvifStep::kHostname:
        return "hostname";
    case TOnvifStep::kNameScope:
        return "nameScope";
    case TOnvifStep::kHttpPort:
        return "httpPort";
    case TOnvifStep::kDns:
        return "dns";
    case TOnvifStep::kGateway:
        return "gateway";
    case TOnvifStep::kAddress:
        return "address";
    case TOnvifStep::kReboot:
        return "reboot";
    }
    return "";
}

TOnvifResult<TOnvifNetworkSettings> ReadOnvifSettings(TOnvifClient& client,
                                                      const std::string& listedIp) {
    TOnvifResult<TOnvifNetworkSettings> result;
    TOnvifNetworkSettings& settings = result.value;

    const auto time = client.GetSystemDateAndTime();
    if (time.error == TOnvifError::kConnect || time.error == TOnvifError::kTimeout ||
        time.error == TOnvifError::kNoService) {
        TakeStatus(result, time);
        return result;
    }
    const auto info = client.GetDeviceInformation();
    if (!info.Ok()) {
        TakeStatus(result, info);
        return result;
    }
    settings.device = info.value;

    const auto interfaces = client.GetNetworkInterfaces();
    if (!interfaces.Ok()) {
        TakeStatus(result, interfaces);
        return result;
    }
    const TOnvifNetworkInterface* chosen = ChooseInterface(interfaces.value, listedIp);
    if (chosen == nullptr) {
        static_cast<TOnvifStatus&>(result) = TOnvifStatus::Failure(
            TOnvifError::kBadAnswer, "GetNetworkInterfaces: the camera lists no interface");
        return result;
    }
    settings.interfaceToken = chosen->token;
    settings.mac = chosen->hwAddress;
    settings.dhcp = chosen->dhcp;
    std::optional<TOnvifIPv4> address;
    if (chosen->dhcp && chosen->fromDhcp)
        address = chosen->fromDhcp;
    else if (!chosen->manual.empty())
        address = chosen->manual.front();
    else if (chosen->fromDhcp)
        address = chosen->fromDhcp;
    settings.ip = address ? address->address : std::string("0.0.0.0");
    settings.prefixLength = address ? address->prefixLength : 0;
    settings.mask = PrefixToMask(settings.prefixLength);
    if (settings.mask.empty())
        settings.mask = "0.0.0.0";

    const auto gateway = client.GetNetworkDefaultGateway();
    if (!gateway.Ok()) {
        TakeStatus(result, gateway);
        return result;
    }
    settings.gateway = gateway.value.ipv4.empty() ? std::string("0.0.0.0") : gateway.value.ipv4[0];

    const auto hostname = client.GetHostname();
    if (!hostname.Ok()) {
        TakeStatus(result, hostname);
        return result;
    }
    settings.hostname = hostname.value.name;
    settings.nameFromDhcp = hostname.value.fromDhcp;
    settings.name = settings.hostname;

    // Scopes, DNS and the protocols are taken when the camera gives them; a camera that refuses
    // them can still be re-addressed.
    const auto scopes = client.GetScopes();
    if (Transport(scopes)) {
        TakeStatus(result, scopes);
        return result;
    }
    if (scopes.Ok()) {
        settings.scopesKnown = true;
        settings.scopes = scopes.value;
        for (const TOnvifScope& scope : settings.scopes) {
            std::string name;
            if (OnvifNameOfScope(scope.item, &name) && !name.empty()) {
                settings.name = name;
                break;
            }
        }
    }
    const auto dns = client.GetDNS();
    if (Transport(dns)) {
        TakeStatus(result, dns);
        return result;
    }
    settings.dnsFromDhcp = dns.value.fromDhcp;
    settings.dns = dns.value.fromDhcp ? dns.value.dnsFromDhcp : dns.value.dnsManual;
    settings.searchDomains = dns.value.searchDomains;

    const auto protocols = client.GetNetworkProtocols();
    if (Transport(protocols)) {
        TakeStatus(result, protocols);
        return result;
    }
    settings.httpPort = static_cast<std::uint16_t>(PortOf(client.XAddr()));
    for (const TOnvifNetworkProtocol& protocol : protocols.value) {
        if (protocol.name == "HTTP" && !protocol.ports.empty()) {
            settings.httpPort = static_cast<std::uint16_t>(protocol.ports.front());
            break;
        }
    }
    return result;
}

TOnvifApplyReport ApplyOnvifSettings(TOnvifClient& client, const TOnvifNetworkSettings& current,
                                     const TOnvifNetworkSettings& edited) {
    TOnvifApplyReport report;
    report.xaddr = client.XAddr();
    auto refuse = [&report](TOnvifError error, std::string detail) {
        static_cast<TOnvifStatus&>(report) = TOnvifStatus::Failure(error, std::move(detail));
        return report;
    };

    // Everything is checked before the first call, so a refused value changes nothing.
    const bool nameChanged = edited.name != current.name;
    const bool hostnameOk = IsValidHostname(edited.name);
    const bool scopeOk = NameScopeWritable(current) && !edited.name.empty();
    if (nameChanged && !hostnameOk && !scopeOk)
        return refuse(TOnvifError::kBadName,
                      "the name \"" + edited.name + "\" is not a valid host name");
    const bool sendHostname = nameChanged && hostnameOk && edited.name != current.hostname;
    const bool sendScopes = nameChanged && scopeOk;
    if (edited.httpPort == 0)
        return refuse(TOnvifError::kInvalidArgument, "the HTTP port must be 1..65535");
    int prefix = current.prefixLength;
    if (!edited.dhcp) {
        if (!MaskToPrefix(edited.mask, prefix) || prefix == 0)
            return refuse(TOnvifError::kBadMask,
                          "the subnet mask " + edited.mask + " is not valid");
        if (!IsHostAddress(edited.ip, prefix))
            return refuse(TOnvifError::kBadAddress,
                          "the IP address " + edited.ip + " cannot be a camera's address");
        if (edited.gateway != "0.0.0.0" && !IsHostAddress(edited.gateway, 0))
            return refuse(TOnvifError::kBadAddress,
                          "the gateway " + edited.gateway + " is not a valid address");
    }
    const bool dhcpOff = current.dhcp && !edited.dhcp;
    const bool dhcpOn = !current.dhcp && edited.dhcp;
    const bool addressChanged =
        dhcpOff || dhcpOn ||
        (!edited.dhcp && (edited.ip != current.ip || prefix != current.prefixLength));
    if (addressChanged && edited.interfaceToken.empty())
        return refuse(TOnvifError::kBadAnswer, "the camera named no network interface");

    auto stop = [&report, &client](const TOnvifStatus& status) {
        static_cast<TOnvifStatus&>(report) = status;
        report.xaddr = client.XAddr();
        return report;
    };
    if (sendHostname) {
        const TOnvifStatus status = client.SetHostname(edited.name);
        if (!status.Ok())
            return stop(status);
        report.done.push_back(TOnvifStep::kHostname);
    }
    if (sendScopes) {
        const TOnvifStatus status = client.SetScopes(ScopesWithName(current.scopes, edited.name));
        if (!status.Ok())
            return stop(status);
        report.done.push_back(TOnvifStep::kNameScope);
    }
    if (edited.httpPort != current.httpPort) {
        const TOnvifStatus status =
            client.SetNetworkProtocols({{"HTTP", true, {static_cast<int>(edited.httpPort)}}});
        if (!status.Ok())
            return stop(status);
        report.done.push_back(TOnvifStep::kHttpPort);
        FollowHttpPort(client, current.httpPort, edited.httpPort);
    }
    // Name servers DHCP gave stay in use by hand once DHCP is off; with DHCP on they come from it.
    if ((dhcpOff && current.dnsFromDhcp && !current.dns.empty()) ||
        (dhcpOn && !current.dnsFromDhcp)) {
        TOnvifDns dns;
        dns.fromDhcp = dhcpOn;
        dns.searchDomains = current.searchDomains;
        if (dhcpOff)
            dns.dnsManual = current.dns;
        const TOnvifStatus status = client.SetDNS(dns);
        if (!status.Ok())
            return stop(status);
        report.done.push_back(TOnvifStep::kDns);
    }
    // A gateway DHCP gave is set by hand when DHCP goes off, even when it stays the same.
    if (!edited.dhcp && (edited.gateway != current.gateway || dhcpOff)) {
        TOnvifGateway gateway;
        if (edited.gateway != "0.0.0.0")
            gateway.ipv4.push_back(edited.gateway);
        const TOnvifStatus status = client.SetNetworkDefaultGateway(gateway);
        if (!status.Ok())
            return stop(status);
        report.done.push_back(TOnvifStep::kGateway);
    }
    if (addressChanged) {
        TOnvifIPv4Setting ipv4;
        ipv4.dhcp = edited.dhcp;
        ipv4.manual = {edited.ip, prefix};
        const auto set = client.SetNetworkInterfaces(edited.interfaceToken, ipv4);
        if (!set.Ok())
            return stop(set);
        report.done.push_back(TOnvifStep::kAddress);
        report.rebootNeeded = set.value;
    }
    if (report.rebootNeeded) {
        auto reboot = client.SystemReboot();
        if ((reboot.error == TOnvifError::kConnect || reboot.error == TOnvifError::kTimeout) &&
            addressChanged && !edited.dhcp) {
            // A camera that took its new address at once is asked to restart there.
            QUrl moved(QString::fromStdString(client.XAddr()));
            moved.setHost(QString::fromStdString(edited.ip));
            const std::string old = client.XAddr();
            client.SetXAddr(moved.toString(QUrl::FullyEncoded).toStdString());
            reboot = client.SystemReboot();
            if (!reboot.Ok())
                client.SetXAddr(old);
        }
        if (!reboot.Ok())
            return stop(reboot);
        report.done.push_back(TOnvifStep::kReboot);
    }
    report.xaddr = client.XAddr();
    return report;
}

void OnvifSettingsToRecord(const TOnvifNetworkSettings& settings, TDevInfo& record) {
    record.name = settings.name;
    record.httpPort = settings.httpPort;
    record.ipMode = settings.dhcp ? 1 : 2;
    record.ip = settings.ip;
    record.mask = settings.mask;
    record.gateway = settings.gateway;
    record.dnsAuto = settings.dnsFromDhcp ? 1 : 0;
    record.dns1.clear();
    record.dns2.clear();
    for (const std::string& server : settings.dns) {
        if (server.find(':') != std::string::npos)
            continue;
        (record.dns1.empty() ? record.dns1 : record.dns2) = server;
        if (!record.dns2.empty())
            break;
    }
    if (!settings.device.firmwareVersion.empty())
        record.version = settings.device.firmwareVersion;
}

bool OnvifSettingsFromRecord(const TOnvifNetworkSettings& current, const TDevInfo& edited,
                             TOnvifNetworkSettings& out, TOnvifStatus* status) {
    if (edited.ipMode != 1 && edited.ipMode != 2) {
        if (status != nullptr)
            *status = TOnvifStatus::Failure(TOnvifError::kInvalidArgument,
                                            "ONVIF offers only Dynamic IP and Fixed IP");
        return false;
    }
    out = current;
    out.name = edited.name;
    out.httpPort = edited.httpPort;
    out.dhcp = edited.ipMode == 1;
    out.ip = edited.ip;
    out.mask = edited.mask;
    out.gateway = edited.gateway;
    int prefix = 0;
    if (MaskToPrefix(edited.mask, prefix))
        out.prefixLength = prefix;
    return true;
}

QJsonObject OnvifSettingsJson(const TOnvifNetworkSettings& settings, const std::string& xaddr) {
    auto text = [](const std::string& utf8) { return QString::fromStdString(utf8); };
    QJsonObject device;
    device[QStringLiteral("manufacturer")] = text(settings.device.manufacturer);
    device[QStringLiteral("model")] = text(settings.device.model);
    device[QStringLiteral("firmwareVersion")] = text(settings.device.firmwareVersion);
    device[QStringLiteral("serialNumber")] = text(settings.device.serialNumber);
    device[QStringLiteral("hardwareId")] = text(settings.device.hardwareId);
    QJsonArray dns;
    for (const std::string& server : settings.dns)
        dns.append(text(server));
    QJsonObject network;
    network[QStringLiteral("name")] = text(settings.name);
    network[QStringLiteral("hostname")] = text(settings.hostname);
    network[QStringLiteral("nameFromDhcp")] = settings.nameFromDhcp;
    network[QStringLiteral("httpPort")] = settings.httpPort;
    network[QStringLiteral("dhcp")] = settings.dhcp;
    network[QStringLiteral("ip")] = text(settings.ip);
    network[QStringLiteral("mask")] = text(settings.mask);
    network[QStringLiteral("prefixLength")] = settings.prefixLength;
    network[QStringLiteral("gateway")] = text(settings.gateway);
    network[QStringLiteral("mac")] = text(settings.mac);
    network[QStringLiteral("interface")] = text(settings.interfaceToken);
    network[QStringLiteral("dnsFromDhcp")] = settings.dnsFromDhcp;
    network[QStringLiteral("dns")] = dns;
    QJsonArray domains;
    for (const std::string& domain : settings.searchDomains)
        domains.append(text(domain));
    network[QStringLiteral("searchDomains")] = domains;
    QJsonObject out;
    out[QStringLiteral("device")] = device;
    out[QStringLiteral("network")] = network;
    out[QStringLiteral("xaddr")] = text(xaddr);
    return out;
}

} // namespace zadari
