#pragma once
// Test doubles for the ONVIF client: a transport that answers from a function and records every
// request, answers written after the device management service's examples, and a small device
// that keeps network settings and applies the set calls it receives.
#include "access/OnvifClient.h"
#include "access/OnvifDevice.h"
#include "access/OnvifSoap.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zadari::onviftest {

inline std::string Envelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\"\n"
           "    xmlns:tt=\"http://www.onvif.org/ver10/schema\"\n"
           "    xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"\n"
           "    xmlns:ter=\"http://www.onvif.org/ver10/error\">\n"
           "  <SOAP-ENV:Body>\n" +
           body + "\n  </SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";
}

/// A SOAP 1.2 fault with the code and nested subcodes given as qualified names.
inline std::string Fault(const std::string& code, const std::vector<std::string>& subcodes,
                         const std::string& reason) {
    std::string inner;
    for (auto it = subcodes.rbegin(); it != subcodes.rend(); ++it)
        inner = "<SOAP-ENV:Subcode><SOAP-ENV:Value>" + *it + "</SOAP-ENV:Value>" + inner +
                "</SOAP-ENV:Subcode>";
    return Envelope("<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>" + code + "</SOAP-ENV:Value>" +
                    inner + "</SOAP-ENV:Code><SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">" +
                    reason + "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>");
}

inline const char* const kSystemDateAndTime = R"(<tds:GetSystemDateAndTimeResponse>
  <tds:SystemDateAndTime>
    <tt:DateTimeType>NTP</tt:DateTimeType>
    <tt:DaylightSavings>true</tt:DaylightSavings>
    <tt:TimeZone><tt:TZ>CET-1CEST,M3.5.0,M10.5.0/3</tt:TZ></tt:TimeZone>
    <tt:UTCDateTime>
      <tt:Time><tt:Hour>7</tt:Hour><tt:Minute>50</tt:Minute><tt:Second>45</tt:Second></tt:Time>
      <tt:Date><tt:Year>2010</tt:Year><tt:Month>9</tt:Month><tt:Day>16</tt:Day></tt:Date>
    </tt:UTCDateTime>
    <tt:LocalDateTime>
      <tt:Time><tt:Hour>9</tt:Hour><tt:Minute>50</tt:Minute><tt:Second>45</tt:Second></tt:Time>
      <tt:Date><tt:Year>2010</tt:Year><tt:Month>9</tt:Month><tt:Day>16</tt:Day></tt:Date>
    </tt:LocalDateTime>
  </tds:SystemDateAndTime>
</tds:GetSystemDateAndTimeResponse>)";

inline const char* const kDeviceInformation = R"(<tds:GetDeviceInformationResponse>
  <tds:Manufacturer>Zadari Test Optics</tds:Manufacturer>
  <tds:Model>NVT-100</tds:Model>
  <tds:FirmwareVersion>2.4.1 build 7</tds:FirmwareVersion>
  <tds:SerialNumber>SN0042</tds:SerialNumber>
  <tds:HardwareId>HW-7</tds:HardwareId>
</tds:GetDeviceInformationResponse>)";

inline const char* const kNetworkInterfaces = R"(<tds:GetNetworkInterfacesResponse>
  <tds:NetworkInterfaces token="wlan0">
    <tt:Enabled>false</tt:Enabled>
    <tt:Info><tt:Name>wlan0</tt:Name><tt:HwAddress>00:1A:2B:3C:4D:5F</tt:HwAddress></tt:Info>
    <tt:IPv4>
      <tt:Enabled>true</tt:Enabled>
      <tt:Config>
        <tt:FromDHCP><tt:Address>10.1.2.3</tt:Address><tt:PrefixLength>16</tt:PrefixLength></tt:FromDHCP>
        <tt:DHCP>true</tt:DHCP>
      </tt:Config>
    </tt:IPv4>
  </tds:NetworkInterfaces>
  <tds:NetworkInterfaces token="eth0">
    <tt:Enabled>true</tt:Enabled>
    <tt:Info><tt:Name>eth0</tt:Name><tt:HwAddress>00:1A:2B:3C:4D:5E</tt:HwAddress><tt:MTU>1500</tt:MTU></tt:Info>
    <tt:Link>
      <tt:AdminSettings><tt:AutoNegotiation>true</tt:AutoNegotiation><tt:Speed>100</tt:Speed><tt:Duplex>Full</tt:Duplex></tt:AdminSettings>
      <tt:OperSettings><tt:AutoNegotiation>true</tt:AutoNegotiation><tt:Speed>100</tt:Speed><tt:Duplex>Full</tt:Duplex></tt:OperSettings>
      <tt:InterfaceType>6</tt:InterfaceType>
    </tt:Link>
    <tt:IPv4>
      <tt:Enabled>true</tt:Enabled>
      <tt:Config>
        <tt:Manual><tt:Address>192.168.0.90</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual>
        <tt:LinkLocal><tt:Address>169.254.10.20</tt:Address><tt:PrefixLength>16</tt:PrefixLength></tt:LinkLocal>
        <tt:DHCP>false</tt:DHCP>
      </tt:Config>
    </tt:IPv4>
  </tds:NetworkInterfaces>
</tds:GetNetworkInterfacesResponse>)";

inline const char* const kDefaultGateway = R"(<tds:GetNetworkDefaultGatewayResponse>
  <tds:NetworkGateway><tt:IPv4Address>192.168.0.1</tt:IPv4Address><tt:IPv6Address>fe80::1</tt:IPv6Address></tds:NetworkGateway>
</tds:GetNetworkDefaultGatewayResponse>)";

inline const char* const kDns = R"(<tds:GetDNSResponse>
  <tds:DNSInformation>
    <tt:FromDHCP>false</tt:FromDHCP>
    <tt:SearchDomain>site.example</tt:SearchDomain>
    <tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>192.168.0.2</tt:IPv4Address></tt:DNSManual>
    <tt:DNSManual><tt:Type>IPv6</tt:Type><tt:IPv6Address>2001:db8::53</tt:IPv6Address></tt:DNSManual>
  </tds:DNSInformation>
</tds:GetDNSResponse>)";

inline const char* const kHostname = R"(<tds:GetHostnameResponse>
  <tds:HostnameInformation><tt:FromDHCP>false</tt:FromDHCP><tt:Name>lobby-cam</tt:Name></tds:HostnameInformation>
</tds:GetHostnameResponse>)";

inline const char* const kNetworkProtocols = R"(<tds:GetNetworkProtocolsResponse>
  <tds:NetworkProtocols><tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>8080</tt:Port><tt:Port>8081</tt:Port></tds:NetworkProtocols>
  <tds:NetworkProtocols><tt:Name>HTTPS</tt:Name><tt:Enabled>false</tt:Enabled><tt:Port>443</tt:Port></tds:NetworkProtocols>
  <tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>554</tt:Port></tds:NetworkProtocols>
</tds:GetNetworkProtocolsResponse>)";

/// The operation a request names in its action.
inline std::string OperationOf(const TOnvifHttpRequest& request) {
    const auto slash = request.action.rfind('/');
    return slash == std::string::npos ? request.action : request.action.substr(slash + 1);
}

inline TOnvifHttpAnswer Answer(int status, std::string body) {
    TOnvifHttpAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

inline TOnvifHttpAnswer Ok(const std::string& responseBody) {
    return Answer(200, Envelope(responseBody));
}

class TFakeTransport : public IOnvifTransport {
public:
    std::function<TOnvifHttpAnswer(const TOnvifHttpRequest&)> handler;
    std::vector<TOnvifHttpRequest> requests;

    TOnvifHttpAnswer Post(const TOnvifHttpRequest& request) override {
        requests.push_back(request);
        return handler ? handler(request) : TOnvifHttpAnswer{};
    }
    std::vector<std::string> Operations() const {
        std::vector<std::string> ops;
        for (const TOnvifHttpRequest& request : requests)
            ops.push_back(OperationOf(request));
        return ops;
    }
};

/// The canned answer of each Get call, keyed by operation.
inline TOnvifHttpAnswer CannedAnswer(const TOnvifHttpRequest& request) {
    static const std::map<std::string, const char*> answers = {
        {"GetSystemDateAndTime", kSystemDateAndTime},
        {"GetDeviceInformation", kDeviceInformation},
        {"GetNetworkInterfaces", kNetworkInterfaces},
        {"GetNetworkDefaultGateway", kDefaultGateway},
        {"GetDNS", kDns},
        {"GetHostname", kHostname},
        {"GetNetworkProtocols", kNetworkProtocols},
        {"SetHostname", "<tds:SetHostnameResponse/>"},
        {"SetNetworkProtocols", "<tds:SetNetworkProtocolsResponse/>"},
        {"SetScopes", "<tds:SetScopesResponse/>"},
        {"SetDNS", "<tds:SetDNSResponse/>"},
        {"SetNetworkDefaultGateway", "<tds:SetNetworkDefaultGatewayResponse/>"},
        {"SetNetworkInterfaces",
         "<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>true</tds:RebootNeeded>"
         "</tds:SetNetworkInterfacesResponse>"},
        {"SystemReboot",
         "<tds:SystemRebootResponse><tds:Message>Rebooting in 5 seconds</tds:Message>"
         "</tds:SystemRebootResponse>"},
    };
    const auto it = answers.find(OperationOf(request));
    if (it == answers.end())
        return Answer(400, Fault("SOAP-ENV:Receiver", {"ter:ActionNotSupported"}, "no"));
    return Ok(it->second);
}

/// The request's body element (the operation), read back through the tree reader.
inline TXmlElement RequestOperation(const TOnvifHttpRequest& request) {
    TXmlElement root;
    ReadXmlTree(request.body, root, nullptr);
    const TXmlElement* body = root.Child(OnvifNs::kSoapEnvelope, "Body");
    return body != nullptr && !body->children.empty() ? body->children.front() : TXmlElement{};
}

/// A camera that keeps its settings, answers the device management calls from them, applies the
/// set calls it receives and records them. With `password` set it checks every call but
/// GetSystemDateAndTime for a UsernameToken whose digest is Base64(SHA-1(nonce + created +
/// password)), computed here on its own, whose nonce it has not seen before and (with `clockMs`)
/// whose Created lies within `skewMs` of its clock; it refuses others with ter:NotAuthorized.
struct TSimCamera {
    std::string user = "admin";
    std::optional<std::string> password;
    /// The camera's own clock, milliseconds since 1970 UTC; unset: the canned 2010 answer and no
    /// check of Created.
    std::function<std::int64_t()> clockMs;
    std::int64_t skewMs = 60000;
    std::set<QByteArray> nonces;
    std::string hostname = "lobby-cam";
    /// The name scope's name ("" for no name scope) and whether it is fixed.
    std::string scopeName;
    bool nameScopeFixed = false;
    int httpPort = 80;
    bool dhcp = false;
    std::string ip = "192.168.0.90";
    int prefix = 24;
    std::string gateway = "192.168.0.1";
    bool dnsFromDhcp = false;
    std::vector<std::string> dns = {"192.168.0.2", "2001:db8::53"};
    std::string firmware = "2.4.1 build 7";
    bool rebootNeeded = true;
    int reboots = 0;
    /// The operation that fails, and the answer it fails with.
    std::string failOn;
    TOnvifHttpAnswer failure;
    /// Service addresses that are not reachable.
    std::vector<std::string> deadUrls;
    /// Every operation received, authorised or not.
    std::vector<std::string> received;

    bool Authorised(const TOnvifHttpRequest& request) {
        if (!password)
            return true;
        TXmlElement root;
        ReadXmlTree(request.body, root, nullptr);
        const TXmlElement* header = root.Child(OnvifNs::kSoapEnvelope, "Header");
        const TXmlElement* security =
            header == nullptr ? nullptr : header->Child(OnvifNs::kWsse, "Security");
        const TXmlElement* token =
            security == nullptr ? nullptr : security->Child(OnvifNs::kWsse, "UsernameToken");
        if (token == nullptr || token->ChildText(OnvifNs::kWsse, "Username").toStdString() != user)
            return false;
        const QByteArray nonce =
            QByteArray::fromBase64(token->ChildText(OnvifNs::kWsse, "Nonce").toLatin1());
        const QString created = token->ChildText(OnvifNs::kWsu, "Created");
        if (!nonces.insert(nonce).second)
            return false; // replayed
        if (clockMs) {
            const QDateTime at = QDateTime::fromString(created, Qt::ISODate);
            if (!at.isValid() || std::llabs(at.toMSecsSinceEpoch() - clockMs()) > skewMs)
                return false;
        }
        QCryptographicHash sha1(QCryptographicHash::Sha1);
        sha1.addData(nonce);
        sha1.addData(created.toUtf8());
        sha1.addData(QByteArray::fromStdString(*password));
        return token->ChildText(OnvifNs::kWsse, "Password").toLatin1() == sha1.result().toBase64();
    }

    TOnvifHttpAnswer Handle(const TOnvifHttpRequest& request) {
        const std::string op = OperationOf(request);
        for (const std::string& dead : deadUrls) {
            if (request.url == dead) {
                TOnvifHttpAnswer refused;
                refused.failure = TOnvifHttpAnswer::TFailure::kConnect;
                return refused;
            }
        }
        received.push_back(op);
        if (op != "GetSystemDateAndTime" && !Authorised(request))
            return Answer(400,
                          Fault("SOAP-ENV:Sender", {"ter:NotAuthorized"}, "Sender not Authorized"));
        if (op == failOn)
            return failure;
        const TXmlElement body = RequestOperation(request);
        const char* tds = OnvifNs::kDevice;
        const char* tt = OnvifNs::kSchema;
        auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
        if (op == "GetSystemDateAndTime" && clockMs) {
            const QDateTime now = QDateTime::fromMSecsSinceEpoch(clockMs(), Qt::UTC);
            auto n = [](int v) { return std::to_string(v); };
            return Ok("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>"
                      "Manual</tt:DateTimeType><tt:DaylightSavings>false</tt:DaylightSavings>"
                      "<tt:UTCDateTime><tt:Time><tt:Hour>" +
                      n(now.time().hour()) + "</tt:Hour><tt:Minute>" + n(now.time().minute()) +
                      "</tt:Minute><tt:Second>" + n(now.time().second()) +
                      "</tt:Second></tt:Time><tt:Date><tt:Year>" + n(now.date().year()) +
                      "</tt:Year><tt:Month>" + n(now.date().month()) + "</tt:Month><tt:Day>" +
                      n(now.date().day()) +
                      "</tt:Day></tt:Date></tt:UTCDateTime></tds:SystemDateAndTime>"
                      "</tds:GetSystemDateAndTimeResponse>");
        }
        if (op == "GetDeviceInformation")
            return Ok("<tds:GetDeviceInformationResponse><tds:Manufacturer>Zadari Test Optics"
                      "</tds:Manufacturer><tds:Model>NVT-100</tds:Model><tds:FirmwareVersion>" +
                      firmware +
                      "</tds:FirmwareVersion><tds:SerialNumber>SN0042</tds:SerialNumber>"
                      "<tds:HardwareId>HW-7</tds:HardwareId></tds:GetDeviceInformationResponse>");
        if (op == "GetNetworkInterfaces") {
            std::string ipv4 = "<tt:Enabled>true</tt:Enabled><tt:Config>";
            ipv4 += std::string(dhcp ? "<tt:FromDHCP>" : "<tt:Manual>") + "<tt:Address>" + ip +
                    "</tt:Address><tt:PrefixLength>" + std::to_string(prefix) +
                    "</tt:PrefixLength>" + (dhcp ? "</tt:FromDHCP>" : "</tt:Manual>");
            ipv4 += "<tt:DHCP>" + flag(dhcp) + "</tt:DHCP></tt:Config>";
            return Ok("<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"eth0\">"
                      "<tt:Enabled>true</tt:Enabled><tt:Info><tt:HwAddress>00:1A:2B:3C:4D:5E"
                      "</tt:HwAddress></tt:Info><tt:IPv4>" +
                      ipv4 +
                      "</tt:IPv4></tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>");
        }
        if (op == "GetNetworkDefaultGateway")
            return Ok("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>" +
                      (gateway.empty() ? "" : "<tt:IPv4Address>" + gateway + "</tt:IPv4Address>") +
                      "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>");
        if (op == "GetHostname")
            return Ok("<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false"
                      "</tt:FromDHCP><tt:Name>" +
                      hostname + "</tt:Name></tds:HostnameInformation></tds:GetHostnameResponse>");
        if (op == "GetScopes") {
            std::string scopes = "<tds:Scopes><tt:ScopeDef>Fixed</tt:ScopeDef><tt:ScopeItem>"
                                 "onvif://www.onvif.org/type/video_encoder</tt:ScopeItem>"
                                 "</tds:Scopes><tds:Scopes><tt:ScopeDef>Configurable"
                                 "</tt:ScopeDef><tt:ScopeItem>onvif://www.onvif.org/location/"
                                 "city/Zadar</tt:ScopeItem></tds:Scopes>";
            if (!scopeName.empty())
                scopes += "<tds:Scopes><tt:ScopeDef>" +
                          std::string(nameScopeFixed ? "Fixed" : "Configurable") +
                          "</tt:ScopeDef><tt:ScopeItem>onvif://www.onvif.org/name/" +
                          QUrl::toPercentEncoding(QString::fromStdString(scopeName)).toStdString() +
                          "</tt:ScopeItem></tds:Scopes>";
            return Ok("<tds:GetScopesResponse>" + scopes + "</tds:GetScopesResponse>");
        }
        if (op == "GetDNS") {
            std::string servers;
            for (const std::string& server : dns) {
                const bool v6 = server.find(':') != std::string::npos;
                const std::string element = dnsFromDhcp ? "DNSFromDHCP" : "DNSManual";
                servers += "<tt:" + element + "><tt:Type>" + (v6 ? "IPv6" : "IPv4") +
                           "</tt:Type><tt:" + (v6 ? "IPv6Address>" : "IPv4Address>") + server +
                           "</tt:" + (v6 ? "IPv6Address>" : "IPv4Address>") + "</tt:" + element +
                           ">";
            }
            return Ok("<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>" + flag(dnsFromDhcp) +
                      "</tt:FromDHCP>" + servers + "</tds:DNSInformation></tds:GetDNSResponse>");
        }
        if (op == "GetNetworkProtocols")
            return Ok("<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>HTTP"
                      "</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>" +
                      std::to_string(httpPort) +
                      "</tt:Port></tds:NetworkProtocols></tds:GetNetworkProtocolsResponse>");
        if (op == "SetHostname")
            hostname = body.ChildText(tds, "Name").toStdString();
        if (op == "SetScopes") {
            for (const TXmlElement* scope : body.Children(tds, "Scopes")) {
                std::string name;
                if (OnvifNameOfScope(scope->text.toStdString(), &name))
                    scopeName = name;
            }
        }
        if (op == "SetNetworkProtocols")
            httpPort = body.Child(tds, "NetworkProtocols")->ChildText(tt, "Port").toInt();
        if (op == "SetNetworkDefaultGateway")
            gateway = body.ChildText(tds, "IPv4Address").toStdString();
        if (op == "SetDNS") {
            dnsFromDhcp = body.ChildText(tds, "FromDHCP") == QLatin1String("true");
            if (!dnsFromDhcp) {
                dns.clear();
                for (const TXmlElement* server : body.Children(tds, "DNSManual"))
                    dns.push_back(server->ChildText(tt, "IPv4Address").toStdString());
            }
        }
        if (op == "SetNetworkInterfaces") {
            const TXmlElement* ipv4 = body.Child(tds, "NetworkInterface")->Child(tt, "IPv4");
            pendingDhcp = ipv4->ChildText(tt, "DHCP") == QLatin1String("true");
            pendingIp = ip;
            pendingPrefix = prefix;
            if (const TXmlElement* manual = ipv4->Child(tt, "Manual")) {
                pendingIp = manual->ChildText(tt, "Address").toStdString();
                pendingPrefix = manual->ChildText(tt, "PrefixLength").toInt();
            }
            pending = true;
            if (!rebootNeeded || appliesAtOnce)
                TakePending();
            return Ok("<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>" + flag(rebootNeeded) +
                      "</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>");
        }
        if (op == "SystemReboot") {
            ++reboots;
            TakePending();
        }
        return CannedAnswer(request);
    }

    /// A new address takes effect on SetNetworkInterfaces when no restart is needed (or the
    /// camera takes it at once all the same), else on SystemReboot.
    bool appliesAtOnce = false;
    bool pending = false;
    bool pendingDhcp = false;
    std::string pendingIp;
    int pendingPrefix = 0;
    void TakePending() {
        if (!pending)
            return;
        pending = false;
        dhcp = pendingDhcp;
        ip = pendingIp;
        prefix = pendingPrefix;
    }

    /// The set calls received, in order.
    std::vector<std::string> SetCalls() const {
        std::vector<std::string> ops;
        for (const std::string& op : received) {
            if (op.rfind("Get", 0) != 0)
                ops.push_back(op);
        }
        return ops;
    }
};

} // namespace zadari::onviftest
