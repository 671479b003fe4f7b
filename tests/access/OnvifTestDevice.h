#pragma once
// Test doubles for the ONVIF client: a transport that answers from a function and records every
// request, answers written after the device management service's examples, and a small device
// that keeps network settings and applies the set calls it receives.
#include "access/OnvifClient.h"
#include "access/OnvifSoap.h"

#include <functional>
#include <map>
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

} // namespace zadari::onviftest
