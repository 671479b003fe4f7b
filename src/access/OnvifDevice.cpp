#include "access/OnvifDevice.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QUrl>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cctype>

namespace zadari {

namespace {

constexpr const char* kTds = OnvifNs::kDevice;
constexpr const char* kTt = OnvifNs::kSchema;

QString Q(const char* latin1) {
    return QString::fromLatin1(latin1);
}

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

bool Named(const TXmlElement& response, const char* localName) {
    return response.Is(kTds, localName);
}

std::optional<int> ParseInt(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool BoolChild(const TXmlElement& element, const char* ns, const char* localName) {
    const TXmlElement* child = element.Child(ns, localName);
    return child != nullptr && ParseXsBoolean(child->text).value_or(false);
}

std::optional<TOnvifIPv4> ReadPrefixedAddress(const TXmlElement* element) {
    if (element == nullptr)
        return std::nullopt;
    TOnvifIPv4 address;
    address.address = Utf8(element->ChildText(kTt, "Address"));
    address.prefixLength = ParseInt(element->ChildText(kTt, "PrefixLength")).value_or(0);
    if (address.address.empty())
        return std::nullopt;
    return address;
}

std::vector<std::string> Texts(const TXmlElement& element, const char* ns, const char* localName) {
    std::vector<std::string> texts;
    for (const TXmlElement* child : element.Children(ns, localName)) {
        if (!child->text.isEmpty())
            texts.push_back(Utf8(child->text));
    }
    return texts;
}

std::vector<std::string> DnsAddresses(const TXmlElement& dns, const char* localName) {
    std::vector<std::string> addresses;
    for (const TXmlElement* entry : dns.Children(kTt, localName)) {
        QString address = entry->ChildText(kTt, "IPv4Address");
        if (address.isEmpty())
            address = entry->ChildText(kTt, "IPv6Address");
        if (!address.isEmpty())
            addresses.push_back(Utf8(address));
    }
    return addresses;
}

void WriteBool(QXmlStreamWriter& writer, const char* ns, const char* localName, bool value) {
    writer.writeTextElement(Q(ns), Q(localName),
                            value ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace

std::optional<bool> ParseXsBoolean(const QString& text) {
    const QString value = text.trimmed();
    if (value == QLatin1String("true") || value == QLatin1String("1"))
        return true;
    if (value == QLatin1String("false") || value == QLatin1String("0"))
        return false;
    return std::nullopt;
}

bool OnvifNameOfScope(std::string_view item, std::string* name) {
    const std::string_view prefix(kOnvifNameScope);
    if (item.size() < prefix.size() ||
        !std::equal(prefix.begin(), prefix.end(), item.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        }))
        return false;
    if (name != nullptr) {
        const std::string_view rest = item.substr(prefix.size());
        *name =
            QUrl::fromPercentEncoding(QByteArray(rest.data(), static_cast<qsizetype>(rest.size())))
                .toStdString();
    }
    return true;
}

std::string OnvifNameScope(std::string_view name) {
    const QByteArray utf8(name.data(), static_cast<qsizetype>(name.size()));
    return kOnvifNameScope + QUrl::toPercentEncoding(QString::fromUtf8(utf8)).toStdString();
}

// ---- requests -----------------------------------------------------------------------------

std::string TOnvifCall::Action() const {
    return std::string(kTds) + "/" + operation;
}

std::string TOnvifCall::ResponseName() const {
    return operation + "Response";
}

TOnvifCall OnvifPlainCall(const char* operation) {
    const QString name = Q(operation);
    return {operation, [name](QXmlStreamWriter& w) { w.writeEmptyElement(Q(kTds), name); }};
}

TOnvifCall SetDnsCall(const TOnvifDns& dns) {
    return {"SetDNS", [dns](QXmlStreamWriter& w) {
                w.writeStartElement(Q(kTds), QStringLiteral("SetDNS"));
                WriteBool(w, kTds, "FromDHCP", dns.fromDhcp);
                for (const std::string& domain : dns.searchDomains)
                    w.writeTextElement(Q(kTds), QStringLiteral("SearchDomain"), Q(domain));
                if (!dns.fromDhcp) {
                    for (const std::string& server : dns.dnsManual) {
                        const bool v6 = server.find(':') != std::string::npos;
                        w.writeStartElement(Q(kTds), QStringLiteral("DNSManual"));
                        w.writeTextElement(Q(kTt), QStringLiteral("Type"),
                                           v6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4"));
                        w.writeTextElement(Q(kTt),
                                           v6 ? QStringLiteral("IPv6Address")
                                              : QStringLiteral("IPv4Address"),
                                           Q(server));
                        w.writeEndElement();
                    }
                }
                w.writeEndElement();
            }};
}

TOnvifCall SetScopesCall(const std::vector<std::string>& scopes) {
    return {"SetScopes", [scopes](QXmlStreamWriter& w) {
                w.writeStartElement(Q(kTds), QStringLiteral("SetScopes"));
                for (const std::string& scope : scopes)
                    w.writeTextElement(Q(kTds), QStringLiteral("Scopes"), Q(scope));
                w.writeEndElement();
            }};
}

TOnvifCall SetNetworkInterfacesCall(const std::string& token, const TOnvifIPv4Setting& ipv4) {
    return {"SetNetworkInterfaces", [token, ipv4](QXmlStreamWriter& w) {
                w.writeStartElement(Q(kTds), QStringLiteral("SetNetworkInterfaces"));
                w.writeTextElement(Q(kTds), QStringLiteral("InterfaceToken"), Q(token));
                w.writeStartElement(Q(kTds), QStringLiteral("NetworkInterface"));
                WriteBool(w, kTt, "Enabled", true);
                w.writeStartElement(Q(kTt), QStringLiteral("IPv4"));
                WriteBool(w, kTt, "Enabled", true);
                if (!ipv4.dhcp) {
                    w.writeStartElement(Q(kTt), QStringLiteral("Manual"));
                    w.writeTextElement(Q(kTt), QStringLiteral("Address"), Q(ipv4.manual.address));
                    w.writeTextElement(Q(kTt), QStringLiteral("PrefixLength"),
                                       QString::number(ipv4.manual.prefixLength));
                    w.writeEndElement();
                }
                WriteBool(w, kTt, "DHCP", ipv4.dhcp);
                w.writeEndElement(); // IPv4
                w.writeEndElement(); // NetworkInterface
                w.writeEndElement();
            }};
}

TOnvifCall SetNetworkDefaultGatewayCall(const TOnvifGateway& gateway) {
    return {"SetNetworkDefaultGateway", [gateway](QXmlStreamWriter& w) {
                w.writeStartElement(Q(kTds), QStringLiteral("SetNetworkDefaultGateway"));
                for (const std::string& address : gateway.ipv4)
                    w.writeTextElement(Q(kTds), QStringLiteral("IPv4Address"), Q(address));
                for (const std::string& address : gateway.ipv6)
                    w.writeTextElement(Q(kTds), QStringLiteral("IPv6Address"), Q(address));
                w.writeEndElement();
            }};
}

TOnvifCall SetHostnameCall(const std::string& name) {
    return {"SetHostname", [name](QXmlStreamWriter& w) {
                w.writeStartElement(Q(kTds), QStringLiteral("SetHostname"));
                w.writeTextElement(Q(kTds), QStringLiteral("Name"), Q(name));
                w.writeEndElement();
            }};
}

TOnvifCall SetNetworkProtocolsCall(const std::vector<TOnvifNetworkProtocol>& protocols) {
    return {"SetNetworkProtocols", [protocols](QXmlStreamWriter& w) {
                w.writeStartElement(Q(kTds), QStringLiteral("SetNetworkProtocols"));
                for (const TOnvifNetworkProtocol& protocol : protocols) {
                    w.writeStartElement(Q(kTds), QStringLiteral("NetworkProtocols"));
                    w.writeTextElement(Q(kTt), QStringLiteral("Name"), Q(protocol.name));
                    WriteBool(w, kTt, "Enabled", protocol.enabled);
                    for (const int port : protocol.ports)
                        w.writeTextElement(Q(kTt), QStringLiteral("Port"), QString::number(port));
                    w.writeEndElement();
                }
                w.writeEndElement();
            }};
}

// ---- answers ------------------------------------------------------------------------------

bool DecodeSystemDateAndTime(const TXmlElement& response, TOnvifSystemTime& out) {
    out = {};
    if (!Named(response, "GetSystemDateAndTimeResponse"))
        return false;
    const TXmlElement* time = response.Child(kTds, "SystemDateAndTime");
    if (time == nullptr)
        return false;
    out.dateTimeType = Utf8(time->ChildText(kTt, "DateTimeType"));
    out.daylightSavings = BoolChild(*time, kTt, "DaylightSavings");
    if (const TXmlElement* zone = time->Child(kTt, "TimeZone"))
        out.timeZone = Utf8(zone->ChildText(kTt, "TZ"));
    const TXmlElement* utc = time->Child(kTt, "UTCDateTime");
    const TXmlElement* date = utc == nullptr ? nullptr : utc->Child(kTt, "Date");
    const TXmlElement* clock = utc == nullptr ? nullptr : utc->Child(kTt, "Time");
    if (date != nullptr && clock != nullptr) {
        const QDate day(ParseInt(date->ChildText(kTt, "Year")).value_or(0),
                        ParseInt(date->ChildText(kTt, "Month")).value_or(0),
                        ParseInt(date->ChildText(kTt, "Day")).value_or(0));
        // A leap second (60) reads as the second before it.
        const QTime at(ParseInt(clock->ChildText(kTt, "Hour")).value_or(-1),
                       ParseInt(clock->ChildText(kTt, "Minute")).value_or(-1),
                       std::min(ParseInt(clock->ChildText(kTt, "Second")).value_or(-1), 59));
        if (day.isValid() && at.isValid()) {
            out.hasUtc = true;
            out.utcMsecs = QDateTime(day, at, Qt::UTC).toMSecsSinceEpoch();
        }
    }
    return true;
}

bool DecodeDeviceInformation(const TXmlElement& response, TOnvifDeviceInfo& out) {
    out = {};
    if (!Named(response, "GetDeviceInformationResponse"))
        return false;
    out.manufacturer = Utf8(response.ChildText(kTds, "Manufacturer"));
    out.model = Utf8(response.ChildText(kTds, "Model"));
    out.firmwareVersion = Utf8(response.ChildText(kTds, "FirmwareVersion"));
    out.serialNumber = Utf8(response.ChildText(kTds, "SerialNumber"));
    out.hardwareId = Utf8(response.ChildText(kTds, "HardwareId"));
    return true;
}

bool DecodeNetworkInterfaces(const TXmlElement& response,
                             std::vector<TOnvifNetworkInterface>& out) {
    out.clear();
    if (!Named(response, "GetNetworkInterfacesResponse"))
        return false;
    for (const TXmlElement* entry : response.Children(kTds, "NetworkInterfaces")) {
        TOnvifNetworkInterface item;
        item.token = Utf8(entry->Attribute("token"));
        item.enabled = BoolChild(*entry, kTt, "Enabled");
        if (const TXmlElement* info = entry->Child(kTt, "Info")) {
            item.name = Utf8(info->ChildText(kTt, "Name"));
            item.hwAddress = Utf8(info->ChildText(kTt, "HwAddress"));
            item.mtu = ParseInt(info->ChildText(kTt, "MTU")).value_or(0);
        }
        if (const TXmlElement* ipv4 = entry->Child(kTt, "IPv4")) {
            item.hasIPv4 = true;
            item.ipv4Enabled = BoolChild(*ipv4, kTt, "Enabled");
            if (const TXmlElement* config = ipv4->Child(kTt, "Config")) {
                for (const TXmlElement* manual : config->Children(kTt, "Manual")) {
                    if (auto address = ReadPrefixedAddress(manual))
                        item.manual.push_back(*address);
                }
                item.linkLocal = ReadPrefixedAddress(config->Child(kTt, "LinkLocal"));
                item.fromDhcp = ReadPrefixedAddress(config->Child(kTt, "FromDHCP"));
                item.dhcp = BoolChild(*config, kTt, "DHCP");
            }
        }
        out.push_back(std::move(item));
    }
    return true;
}

bool DecodeNetworkDefaultGateway(const TXmlElement& response, TOnvifGateway& out) {
    out = {};
    if (!Named(response, "GetNetworkDefaultGatewayResponse"))
        return false;
    const TXmlElement* gateway = response.Child(kTds, "NetworkGateway");
    if (gateway == nullptr)
        return false;
    out.ipv4 = Texts(*gateway, kTt, "IPv4Address");
    out.ipv6 = Texts(*gateway, kTt, "IPv6Address");
    return true;
}

bool DecodeDns(const TXmlElement& response, TOnvifDns& out) {
    out = {};
    if (!Named(response, "GetDNSResponse"))
        return false;
    const TXmlElement* dns = response.Child(kTds, "DNSInformation");
    if (dns == nullptr)
        return false;
    out.fromDhcp = BoolChild(*dns, kTt, "FromDHCP");
    out.searchDomains = Texts(*dns, kTt, "SearchDomain");
    out.dnsFromDhcp = DnsAddresses(*dns, "DNSFromDHCP");
    out.dnsManual = DnsAddresses(*dns, "DNSManual");
    return true;
}

bool DecodeHostname(const TXmlElement& response, TOnvifHostname& out) {
    out = {};
    if (!Named(response, "GetHostnameResponse"))
        return false;
    const TXmlElement* info = response.Child(kTds, "HostnameInformation");
    if (info == nullptr)
        return false;
    out.fromDhcp = BoolChild(*info, kTt, "FromDHCP");
    out.name = Utf8(info->ChildText(kTt, "Name"));
    return true;
}

bool DecodeNetworkProtocols(const TXmlElement& response, std::vector<TOnvifNetworkProtocol>& out) {
    out.clear();
    if (!Named(response, "GetNetworkProtocolsResponse"))
        return false;
    for (const TXmlElement* entry : response.Children(kTds, "NetworkProtocols")) {
        TOnvifNetworkProtocol protocol;
        protocol.name = Utf8(entry->ChildText(kTt, "Name"));
        protocol.enabled = BoolChild(*entry, kTt, "Enabled");
        for (const TXmlElement* port : entry->Children(kTt, "Port")) {
            const std::optional<int> number = ParseInt(port->text);
            if (number && *number > 0 && *number <= 65535)
                protocol.ports.push_back(*number);
        }
        out.push_back(std::move(protocol));
    }
    return true;
}

bool DecodeScopes(const TXmlElement& response, std::vector<TOnvifScope>& out) {
    out.clear();
    if (!Named(response, "GetScopesResponse"))
        return false;
    for (const TXmlElement* entry : response.Children(kTds, "Scopes")) {
        TOnvifScope scope;
        scope.fixed = entry->ChildText(kTt, "ScopeDef") == QLatin1String("Fixed");
        scope.item = Utf8(entry->ChildText(kTt, "ScopeItem"));
        if (!scope.item.empty())
            out.push_back(std::move(scope));
    }
    return true;
}

bool DecodeRebootNeeded(const TXmlElement& response, bool& rebootNeeded) {
    rebootNeeded = false;
    if (!Named(response, "SetNetworkInterfacesResponse"))
        return false;
    rebootNeeded = BoolChild(response, kTds, "RebootNeeded");
    return true;
}

bool DecodeSystemReboot(const TXmlElement& response, std::string& message) {
    message.clear();
    if (!Named(response, "SystemRebootResponse"))
        return false;
    message = Utf8(response.ChildText(kTds, "Message"));
    return true;
}

} // namespace zadari
