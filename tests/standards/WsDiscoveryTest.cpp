// Vectors: the published WS-Discovery (April 2005) example messages, an ONVIF camera's
// ProbeMatch as the ONVIF discovery documents show it, and a Windows computer's Hello as WSDAPI
// documents it.
#include "standards/WsDiscovery.h"

#include <QMap>
#include <QString>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <string>

namespace zadari {
namespace {

const std::string kSpecProbeMatches = R"(<s:Envelope
    xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
    xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"
    xmlns:i="http://printer.example.org/2003/imaging"
    xmlns:s="http://www.w3.org/2003/05/soap-envelope" >
  <s:Header>
    <a:Action>
      http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches
    </a:Action>
    <a:MessageID>
      uuid:e32e6863-ea5e-4ee4-997e-69539d1ff2cc
    </a:MessageID>
    <a:RelatesTo>
      uuid:0a6dc791-2be6-4991-9af1-454778a1917a
    </a:RelatesTo>
    <a:To>
      http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous
    </a:To>
    <d:AppSequence InstanceId="1077004800" MessageNumber="2" />
  </s:Header>
  <s:Body>
    <d:ProbeMatches>
      <d:ProbeMatch>
        <a:EndpointReference>
          <a:Address>
            uuid:98190dc2-0890-4ef8-ac9a-5940995e6119
          </a:Address>
        </a:EndpointReference>
        <d:Types>i:PrintBasic i:PrintAdvanced</d:Types>
        <d:Scopes>
          ldap:///ou=engineering,o=examplecom,c=us
          ldap:///ou=floor1,ou=b42,ou=anytown,ou=usa,o=examplecom,c=us
          http://itdept/imaging/deployment/2004-12-04
        </d:Scopes>
        <d:XAddrs>http://prn-example/PRN42/b42-1668-a</d:XAddrs>
        <d:MetadataVersion>75965</d:MetadataVersion>
      </d:ProbeMatch>
    </d:ProbeMatches>
  </s:Body>
</s:Envelope>)";

const std::string kSpecBye = R"(<s:Envelope
    xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
    xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"
    xmlns:s="http://www.w3.org/2003/05/soap-envelope" >
  <s:Header>
    <a:Action>
      http://schemas.xmlsoap.org/ws/2005/04/discovery/Bye
    </a:Action>
    <a:MessageID>
      uuid:337497fa-3b10-43a5-95c2-186461d72c9e
    </a:MessageID>
    <a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>
    <d:AppSequence InstanceId="1077004800" MessageNumber="4" />
  </s:Header>
  <s:Body>
    <d:Bye>
      <a:EndpointReference>
        <a:Address>
          uuid:98190dc2-0890-4ef8-ac9a-5940995e6119
        </a:Address>
      </a:EndpointReference>
    </d:Bye>
  </s:Body>
</s:Envelope>)";

// An ONVIF device's Hello with the scopes of the ONVIF Core example (typed as in ONVIF 1.x).
std::string OnvifHello(const std::string& types, const std::string& extraScopes = "") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope"
 xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing"
 xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">
<SOAP-ENV:Header>
<wsa:MessageID>urn:uuid:7b1c1e64-2f7a-4f2e-9a52-7d1c0a3e5b11</wsa:MessageID>
<wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>
<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello</wsa:Action>
</SOAP-ENV:Header>
<SOAP-ENV:Body><d:Hello>
<wsa:EndpointReference><wsa:Address>urn:uuid:a1f48ac2-dc8b-11df-b255-00408c1836b2</wsa:Address></wsa:EndpointReference>
)" + types +
           R"(
<d:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/type/audio_encoder
 onvif://www.onvif.org/hardware/D1-566 onvif://www.onvif.org/location/country/china
 onvif://www.onvif.org/location/city/bejing onvif://www.onvif.org/name/ARV-453 )" +
           extraScopes + R"(</d:Scopes>
<d:XAddrs>http://192.168.1.20/onvif/device_service http://[fe80::240:8cff:fe18:36b2]/onvif/device_service</d:XAddrs>
<d:MetadataVersion>1</d:MetadataVersion>
</d:Hello></SOAP-ENV:Body></SOAP-ENV:Envelope>)";
}

const std::string kNvtTypes =
    R"(<d:Types xmlns:dn="http://www.onvif.org/ver10/network/wsdl">dn:NetworkVideoTransmitter</d:Types>)";

TEST(WsDiscovery, SpecProbeMatchesGivesEveryField) {
    TWsdMessage message;
    ASSERT_TRUE(ParseWsdMessage(kSpecProbeMatches, message));
    EXPECT_EQ(message.kind, TWsdKind::ProbeMatches);
    EXPECT_EQ(message.messageId, "uuid:e32e6863-ea5e-4ee4-997e-69539d1ff2cc");
    EXPECT_EQ(message.relatesTo, "uuid:0a6dc791-2be6-4991-9af1-454778a1917a");
    ASSERT_EQ(message.endpoints.size(), 1u);
    const TOnvifInfo& info = message.endpoints[0];
    EXPECT_EQ(info.endpoint, "uuid:98190dc2-0890-4ef8-ac9a-5940995e6119");
    EXPECT_EQ(info.types,
              (std::vector<std::string>{"{http://printer.example.org/2003/imaging}PrintBasic",
                                        "{http://printer.example.org/2003/imaging}PrintAdvanced"}));
    EXPECT_EQ(info.scopes, (std::vector<std::string>{
                               "ldap:///ou=engineering,o=examplecom,c=us",
                               "ldap:///ou=floor1,ou=b42,ou=anytown,ou=usa,o=examplecom,c=us",
                               "http://itdept/imaging/deployment/2004-12-04"}));
    EXPECT_EQ(info.xaddrs, std::vector<std::string>{"http://prn-example/PRN42/b42-1668-a"});
    EXPECT_EQ(info.metadataVersion, 75965u);
    EXPECT_TRUE(info.name.empty());
    EXPECT_FALSE(IsOnvifDevice(info)); // a printer
}

TEST(WsDiscovery, SpecByeNamesTheEndpoint) {
    TWsdMessage message;
    ASSERT_TRUE(ParseWsdMessage(kSpecBye, message));
    EXPECT_EQ(message.kind, TWsdKind::Bye);
    ASSERT_EQ(message.endpoints.size(), 1u);
    EXPECT_EQ(message.endpoints[0].endpoint, "uuid:98190dc2-0890-4ef8-ac9a-5940995e6119");
    EXPECT_TRUE(message.endpoints[0].types.empty());
}

TEST(WsDiscovery, OnvifHelloReadsTheOnvifScopes) {
    TWsdMessage message;
    ASSERT_TRUE(ParseWsdMessage(OnvifHello(kNvtTypes), message));
    EXPECT_EQ(message.kind, TWsdKind::Hello);
    ASSERT_EQ(message.endpoints.size(), 1u);
    const TOnvifInfo& info = message.endpoints[0];
    EXPECT_EQ(info.endpoint, "urn:uuid:a1f48ac2-dc8b-11df-b255-00408c1836b2");
    EXPECT_EQ(info.types, std::vector<std::string>{
                              "{http://www.onvif.org/ver10/network/wsdl}NetworkVideoTransmitter"});
    EXPECT_EQ(info.scopes.size(), 6u);
    EXPECT_EQ(info.name, "ARV-453");
    EXPECT_EQ(info.hardware, "D1-566");
    EXPECT_EQ(info.location, "country/china, city/bejing");
    EXPECT_EQ(info.xaddrs.size(), 2u);
    EXPECT_EQ(info.metadataVersion, 1u);
    EXPECT_TRUE(IsOnvifDevice(info));
}

TEST(WsDiscovery, ScopeValuesAreUrlDecoded) {
    TWsdMessage message;
    ASSERT_TRUE(
        ParseWsdMessage(OnvifHello(kNvtTypes, "onvif://www.onvif.org/name/Front%20Door%2FGate "
                                              "onvif://www.onvif.org/MAC/00:40:8c:18:36:b2 "
                                              "onvif://www.onvif.org/serial/SN%2D42%zz"),
                        message));
    const TOnvifInfo& info = message.endpoints.at(0);
    EXPECT_EQ(info.name, "ARV-453"); // the first name scope wins
    EXPECT_EQ(info.mac, "00:40:8c:18:36:b2");
    EXPECT_EQ(info.serial, "SN-42%zz");
    EXPECT_EQ(UrlDecoded("Front%20Door%2FGate"), "Front Door/Gate");
    EXPECT_EQ(UrlDecoded("a%00b%0d%0Ac%"), "abc%");
    EXPECT_EQ(UrlDecoded("caf%C3%A9"), "caf\xC3\xA9");
}

TEST(WsDiscovery, OnlyOnvifTypesCountAsOnvifDevices) {
    const std::string pub = R"(xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07" )";
    const std::string wsdp = R"(xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" )";
    const struct {
        std::string types;
        bool scopes; // the ONVIF scopes present
        bool onvif;
    } cases[] = {
        {kNvtTypes, true, true},
        {R"(<d:Types xmlns:tds="http://www.onvif.org/ver10/device/wsdl">tds:Device</d:Types>)",
         true, true},
        // Any prefix will do when it names the ONVIF namespace.
        {R"(<d:Types xmlns:x="http://www.onvif.org/ver10/network/wsdl">x:NetworkVideoTransmitter</d:Types>)",
         false, true},
        {R"(<d:Types xmlns="http://www.onvif.org/ver10/device/wsdl">Device</d:Types>)", false,
         true},
        // A Windows computer (WSDAPI) is a device of the devices profile, not of ONVIF.
        {"<d:Types " + wsdp + pub + ">wsdp:Device pub:Computer</d:Types>", false, false},
        // The right name in another namespace.
        {R"(<d:Types xmlns:dn="http://example.com/other">dn:NetworkVideoTransmitter</d:Types>)",
         true, false},
        // Undeclared usual prefixes: an ONVIF device only together with ONVIF scopes.
        {"<d:Types>dn:NetworkVideoTransmitter</d:Types>", true, true},
        {"<d:Types>tds:Device</d:Types>", false, false},
        {"", true, false},
    };
    for (const auto& c : cases) {
        std::string hello = OnvifHello(c.types);
        if (!c.scopes)
            hello.replace(hello.find("<d:Scopes>"),
                          hello.find("</d:Scopes>") + 11 - hello.find("<d:Scopes>"), "");
        TWsdMessage message;
        ASSERT_TRUE(ParseWsdMessage(hello, message)) << c.types;
        EXPECT_EQ(IsOnvifDevice(message.endpoints.at(0)), c.onvif) << c.types;
    }
}

TEST(WsDiscovery, SeveralMatchesInOneMessage) {
    std::string text = kSpecProbeMatches;
    const auto begin = text.find("<d:ProbeMatch>");
    const auto end = text.find("</d:ProbeMatch>") + 15;
    std::string second = text.substr(begin, end - begin);
    second.replace(second.find("98190dc2"), 8, "11111111");
    text.insert(end, second);
    TWsdMessage message;
    ASSERT_TRUE(ParseWsdMessage(text, message));
    ASSERT_EQ(message.endpoints.size(), 2u);
    EXPECT_EQ(message.endpoints[1].endpoint, "uuid:11111111-0890-4ef8-ac9a-5940995e6119");
}

TEST(WsDiscovery, HostileOrForeignDocumentsAreDropped) {
    const std::string laughs = R"(<?xml version="1.0"?>
<!DOCTYPE s:Envelope [
 <!ENTITY lol "lol">
 <!ENTITY lol2 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">
 <!ENTITY lol3 "&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;">
 <!ENTITY lol4 "&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;">
]>)";
    std::string withDtd = OnvifHello(kNvtTypes);
    withDtd.replace(0, withDtd.find("<SOAP-ENV:Envelope"), laughs);
    std::string entityUse = withDtd;
    entityUse.replace(entityUse.find("ARV-453"), 7, "&lol4;");
    std::string external = OnvifHello(kNvtTypes);
    external.replace(0, external.find("<SOAP-ENV:Envelope"),
                     "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>");
    std::string undeclared = OnvifHello(kNvtTypes);
    undeclared.replace(undeclared.find("ARV-453"), 7, "&e;");
    std::string padded = OnvifHello(kNvtTypes);
    padded.insert(padded.find("<SOAP-ENV:Body>"), "<!--" + std::string(60 * 1024, 'x') + "-->");
    std::string noAddress = OnvifHello(kNvtTypes);
    noAddress.replace(noAddress.find("urn:uuid:a1f48ac2"), 45, "");
    std::string deep = OnvifHello(kNvtTypes);
    std::string nested;
    for (int i = 0; i < 40; ++i)
        nested += "<a>";
    for (int i = 0; i < 40; ++i)
        nested += "</a>";
    deep.insert(deep.find("</d:Hello>"), nested);
    const std::string full = OnvifHello(kNvtTypes);
    const std::string cases[] = {
        withDtd,
        entityUse,
        external,
        undeclared,
        padded,
        noAddress,
        deep,
        full.substr(0, full.size() - 10), // cut off
        "<s:Envelope xmlns:s=\"http://example.com/not-soap\"><s:Body/></s:Envelope>",
        BuildWsdProbe(TWsdProbeType::Device, "urn:uuid:1"), // a Probe is no answer
        "",
        std::string("\0\0\0\0", 4),
    };
    int i = 0;
    for (const auto& text : cases) {
        TWsdMessage message;
        message.relatesTo = "stale";
        EXPECT_FALSE(ParseWsdMessage(text, message)) << "case " << i;
        EXPECT_TRUE(message.endpoints.empty() && message.relatesTo.empty()) << "case " << i;
        ++i;
    }
}

// The Probe is checked with Qt's own reader: Types must name the ONVIF type by namespace.
TEST(WsDiscovery, ProbeAsksForTheTypeByNamespace) {
    const struct {
        TWsdProbeType type;
        const char* ns;
        const char* local;
    } cases[] = {
        {TWsdProbeType::NetworkVideoTransmitter, "http://www.onvif.org/ver10/network/wsdl",
         "NetworkVideoTransmitter"},
        {TWsdProbeType::Device, "http://www.onvif.org/ver10/device/wsdl", "Device"},
    };
    for (const auto& c : cases) {
        const std::string probe =
            BuildWsdProbe(c.type, "urn:uuid:6a2b1c3d-0000-4000-8000-000000000001");
        QXmlStreamReader reader(QByteArray::fromStdString(probe));
        QString action, messageId, types;
        QMap<QString, QString> declared; // the probe declares each prefix once
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            for (const auto& d : reader.namespaceDeclarations())
                declared[d.prefix().toString()] = d.namespaceUri().toString();
            const QString name = reader.name().toString();
            if (name == u"Types")
                types = reader.readElementText();
            else if (name == u"Action")
                action = reader.readElementText();
            else if (name == u"MessageID")
                messageId = reader.readElementText();
        }
        const auto colon = types.indexOf(u':');
        const QString typeNs = declared.value(types.left(colon));
        types = types.mid(colon + 1);
        ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
        EXPECT_EQ(action.toStdString(), "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe");
        EXPECT_EQ(messageId.toStdString(), "urn:uuid:6a2b1c3d-0000-4000-8000-000000000001");
        EXPECT_EQ(types.toStdString(), c.local);
        EXPECT_EQ(typeNs.toStdString(), c.ns);
    }
    EXPECT_NE(BuildWsdProbe(TWsdProbeType::Device, "<x>&").find("&lt;x&gt;&amp;"),
              std::string::npos);
}

} // namespace
} // namespace zadari
