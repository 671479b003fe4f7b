// The SOAP layer of the ONVIF client: the UsernameToken digest, the request envelopes, faults
// and hostile answers.
#include "access/OnvifSoap.h"
#include "access/OnvifClient.h"
#include "access/OnvifDevice.h"

#include "OnvifTestDevice.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

using namespace onviftest;

QByteArray FromBase64(const char* text) {
    return QByteArray::fromBase64(QByteArray(text));
}

TEST(OnvifSoap, PasswordDigestMatchesIndependentlyComputedValues) {
    // Expected values computed outside this code base with
    //   (printf %s NONCE_B64 | base64 -d; printf %s "$CREATED$PASSWORD") | openssl sha1 -binary |
    //   base64
    // and checked again with Python's hashlib.sha1 over the same bytes.
    struct TCase {
        QByteArray nonce;
        const char* created;
        const char* password;
        const char* digest;
    } cases[] = {
        {FromBase64("LKqI6G/AikKCQrN0zqZFlg=="), "2010-09-16T07:50:45Z", "userpassword",
         "tuOSpGlFlIXsozq4HFNeeGeFLEI="},
        // The password as UTF-8 bytes.
        {FromBase64("WScqanjCEAC4mQoBE07sAQ=="), "2003-07-16T01:24:32Z", "p\xC3\xA4sswörd",
         "6aJpR0WDjyqvafTwKHw3Hzyl2Js="},
        // Sixteen zero bytes and an empty password.
        {QByteArray(16, '\0'), "2024-02-29T23:59:59Z", "", "J9AqZaLXP7ChlBnzBn1IRlubHtM="},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(OnvifPasswordDigest(c.nonce, c.created, c.password), c.digest) << c.created;
}

TEST(OnvifSoap, CreatedIsUtcWithWholeSeconds) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {1284623445000, "2010-09-16T07:50:45Z"},
        {1284623445999, "2010-09-16T07:50:45Z"},
        {1709251199000, "2024-02-29T23:59:59Z"},
    };
    for (const auto& [msecs, text] : cases)
        EXPECT_EQ(OnvifCreatedText(msecs), text);
}

TEST(OnvifSoap, NoncesAreSixteenFreshBytes) {
    const QByteArray a = NewOnvifNonce();
    const QByteArray b = NewOnvifNonce();
    EXPECT_EQ(a.size(), 16);
    EXPECT_EQ(b.size(), 16);
    EXPECT_NE(a, b);
}

TEST(OnvifSoap, RequestCarriesTheUsernameTokenInTheSecurityHeader) {
    const TUsernameToken token = MakeUsernameToken(
        "admin", "userpassword", FromBase64("LKqI6G/AikKCQrN0zqZFlg=="), 1284623445000);
    const std::string xml = BuildSoapRequest(&token, OnvifPlainCall("GetDeviceInformation").body);
    EXPECT_EQ(xml.find("userpassword"), std::string::npos);

    TXmlElement root;
    ASSERT_EQ(ReadXmlTree(xml, root, nullptr), TSoapReadError::kNone);
    ASSERT_TRUE(root.Is(OnvifNs::kSoapEnvelope, "Envelope"));
    const TXmlElement* header = root.Child(OnvifNs::kSoapEnvelope, "Header");
    ASSERT_NE(header, nullptr);
    const TXmlElement* security = header->Child(OnvifNs::kWsse, "Security");
    ASSERT_NE(security, nullptr);
    EXPECT_EQ(security->Attribute("mustUnderstand"), QStringLiteral("1"));
    const TXmlElement* ut = security->Child(OnvifNs::kWsse, "UsernameToken");
    ASSERT_NE(ut, nullptr);
    EXPECT_EQ(ut->ChildText(OnvifNs::kWsse, "Username"), QStringLiteral("admin"));
    const TXmlElement* password = ut->Child(OnvifNs::kWsse, "Password");
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->Attribute("Type"), QLatin1String(OnvifNs::kPasswordDigest));
    EXPECT_EQ(password->text, QStringLiteral("tuOSpGlFlIXsozq4HFNeeGeFLEI="));
    const TXmlElement* nonce = ut->Child(OnvifNs::kWsse, "Nonce");
    ASSERT_NE(nonce, nullptr);
    EXPECT_EQ(nonce->Attribute("EncodingType"), QLatin1String(OnvifNs::kBase64Binary));
    EXPECT_EQ(nonce->text, QStringLiteral("LKqI6G/AikKCQrN0zqZFlg=="));
    EXPECT_EQ(ut->ChildText(OnvifNs::kWsu, "Created"), QStringLiteral("2010-09-16T07:50:45Z"));

    const TXmlElement* body = root.Child(OnvifNs::kSoapEnvelope, "Body");
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->children.size(), 1u);
    EXPECT_TRUE(body->children[0].Is(OnvifNs::kDevice, "GetDeviceInformation"));
    EXPECT_TRUE(body->children[0].children.empty());

    // Without an account there is no header at all.
    const std::string plain =
        BuildSoapRequest(nullptr, OnvifPlainCall("GetSystemDateAndTime").body);
    ASSERT_EQ(ReadXmlTree(plain, root, nullptr), TSoapReadError::kNone);
    EXPECT_EQ(root.Child(OnvifNs::kSoapEnvelope, "Header"), nullptr);
}

TEST(OnvifSoap, SetRequestsFollowTheDeviceSchema) {
    const char* tds = OnvifNs::kDevice;
    const char* tt = OnvifNs::kSchema;
    auto bodyOf = [](const TOnvifCall& call) {
        TOnvifHttpRequest request;
        request.body = BuildSoapRequest(nullptr, call.body);
        return RequestOperation(request);
    };

    const TOnvifCall fixed = SetNetworkInterfacesCall("eth0", {false, {"192.168.1.20", 24}});
    EXPECT_EQ(fixed.Action(), "http://www.onvif.org/ver10/device/wsdl/SetNetworkInterfaces");
    TXmlElement op = bodyOf(fixed);
    ASSERT_TRUE(op.Is(tds, "SetNetworkInterfaces"));
    EXPECT_EQ(op.ChildText(tds, "InterfaceToken"), QStringLiteral("eth0"));
    const TXmlElement* ni = op.Child(tds, "NetworkInterface");
    ASSERT_NE(ni, nullptr);
    EXPECT_EQ(ni->ChildText(tt, "Enabled"), QStringLiteral("true"));
    const TXmlElement* ipv4 = ni->Child(tt, "IPv4");
    ASSERT_NE(ipv4, nullptr);
    ASSERT_EQ(ipv4->children.size(), 3u); // Enabled, Manual, DHCP in schema order
    EXPECT_TRUE(ipv4->children[0].Is(tt, "Enabled"));
    EXPECT_TRUE(ipv4->children[1].Is(tt, "Manual"));
    EXPECT_EQ(ipv4->children[1].ChildText(tt, "Address"), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(ipv4->children[1].ChildText(tt, "PrefixLength"), QStringLiteral("24"));
    EXPECT_TRUE(ipv4->children[2].Is(tt, "DHCP"));
    EXPECT_EQ(ipv4->children[2].text, QStringLiteral("false"));

    op = bodyOf(SetNetworkInterfacesCall("eth0", {true, {}}));
    ipv4 = op.Child(tds, "NetworkInterface")->Child(tt, "IPv4");
    EXPECT_EQ(ipv4->Child(tt, "Manual"), nullptr);
    EXPECT_EQ(ipv4->ChildText(tt, "DHCP"), QStringLiteral("true"));

    op = bodyOf(SetNetworkDefaultGatewayCall({{"192.168.1.1"}, {}}));
    ASSERT_TRUE(op.Is(tds, "SetNetworkDefaultGateway"));
    ASSERT_EQ(op.children.size(), 1u);
    EXPECT_TRUE(op.children[0].Is(tds, "IPv4Address"));
    EXPECT_EQ(op.children[0].text, QStringLiteral("192.168.1.1"));

    op = bodyOf(SetHostnameCall("gate-cam"));
    ASSERT_TRUE(op.Is(tds, "SetHostname"));
    EXPECT_EQ(op.ChildText(tds, "Name"), QStringLiteral("gate-cam"));

    op = bodyOf(SetNetworkProtocolsCall({{"HTTP", true, {8080}}}));
    ASSERT_TRUE(op.Is(tds, "SetNetworkProtocols"));
    const TXmlElement* protocol = op.Child(tds, "NetworkProtocols");
    ASSERT_NE(protocol, nullptr);
    EXPECT_EQ(protocol->ChildText(tt, "Name"), QStringLiteral("HTTP"));
    EXPECT_EQ(protocol->ChildText(tt, "Enabled"), QStringLiteral("true"));
    EXPECT_EQ(protocol->ChildText(tt, "Port"), QStringLiteral("8080"));
}

TEST(OnvifSoap, FaultsBecomeMessageKeys) {
    // WS-Security's own fault codes live in the wsse namespace.
    const std::string wsseFault =
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:wsse=\"" +
        std::string(OnvifNs::kWsse) +
        "\"><e:Body><e:Fault><e:Code><e:Value>e:Sender</e:Value><e:Subcode>"
        "<e:Value>wsse:FailedAuthentication</e:Value></e:Subcode></e:Code></e:Fault></e:Body>"
        "</e:Envelope>";
    struct TCase {
        const char* name;
        std::string answer;
        TOnvifError error;
        const char* key;
    } cases[] = {
        {"not authorized", Fault("SOAP-ENV:Sender", {"ter:NotAuthorized"}, "Sender not Authorized"),
         TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
        {"invalid value",
         Fault("SOAP-ENV:Sender", {"ter:InvalidArgVal", "ter:InvalidMtuValue"}, "bad"),
         TOnvifError::kInvalidArgument, "IDS_ONVIF_INVALIDARG"},
        {"invalid address",
         Fault("SOAP-ENV:Sender", {"ter:InvalidArgVal", "ter:InvalidIPv4Address"}, "bad"),
         TOnvifError::kBadAddress, "IDS_ONVIF_BADADDRESS"},
        {"invalid gateway",
         Fault("SOAP-ENV:Sender", {"ter:InvalidArgVal", "ter:InvalidGatewayAddress"}, "bad"),
         TOnvifError::kBadAddress, "IDS_ONVIF_BADADDRESS"},
        {"invalid host name",
         Fault("SOAP-ENV:Sender", {"ter:InvalidArgVal", "ter:InvalidHostname"}, "bad"),
         TOnvifError::kBadName, "IDS_ONVIF_BADNAME"},
        {"action not supported",
         Fault("SOAP-ENV:Receiver", {"ter:ActionNotSupported"}, "Optional Action Not Implemented"),
         TOnvifError::kNotSupported, "IDS_ONVIF_NOTSUPPORTED"},
        {"other subcode", Fault("SOAP-ENV:Receiver", {"ter:Action", "ter:TooManyUsers"}, "full"),
         TOnvifError::kFault, "IDS_ONVIF_FAULT"},
        {"must understand", Fault("SOAP-ENV:MustUnderstand", {}, "header"), TOnvifError::kFault,
         "IDS_ONVIF_FAULT"},
        {"WS-Security failure", wsseFault, TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
        {"prefix never declared",
         "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><e:Fault>"
         "<e:Code><e:Value>e:Sender</e:Value><e:Subcode><e:Value>err:NotAuthorized</e:Value>"
         "</e:Subcode></e:Code></e:Fault></e:Body></e:Envelope>",
         TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
        {"SOAP 1.1",
         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:ter=\"http://www.onvif.org/ver10/error\"><s:Body><s:Fault>"
         "<faultcode>ter:NotAuthorized</faultcode><faultstring>no</faultstring>"
         "</s:Fault></s:Body></s:Envelope>",
         TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
    };
    for (const TCase& c : cases) {
        const TSoapAnswer answer = ReadSoapAnswer(c.answer);
        ASSERT_TRUE(answer.Ok()) << c.name << ": " << answer.errorText;
        ASSERT_TRUE(answer.isFault) << c.name;
        const TOnvifError error = OnvifErrorOfFault(answer.fault);
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_STREQ(OnvifMessageKey(error), c.key) << c.name;
    }

    const TSoapAnswer first = ReadSoapAnswer(cases[0].answer);
    EXPECT_EQ(first.fault.code, QStringLiteral("Sender"));
    EXPECT_EQ(first.fault.codeNs, QLatin1String(OnvifNs::kSoapEnvelope));
    EXPECT_TRUE(first.fault.HasSubcode(OnvifNs::kError, "NotAuthorized"));
    EXPECT_EQ(first.fault.reason, QStringLiteral("Sender not Authorized"));
    EXPECT_EQ(first.fault.CodeText(), "env:Sender ter:NotAuthorized");
}

TEST(OnvifSoap, HostileAnswersGiveADefinedError) {
    const std::string laughs =
        "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
        "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">]>" +
        Envelope("<tds:GetHostnameResponse>&lol2;</tds:GetHostnameResponse>");
    const std::string external = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY ext SYSTEM "
                                 "\"file:///etc/passwd\">]><x>&ext;</x>";
    std::string deep;
    for (int i = 0; i < kMaxSoapDepth + 1; ++i)
        deep += "<a>";
    const std::string wide =
        Envelope("<tds:GetHostnameResponse>" + std::string(kMaxSoapAnswerBytes, ' ') + "</x>");
    std::string many = "<r>";
    for (int i = 0; i < kMaxSoapElements; ++i)
        many += "<a/>";
    many += "</r>";
    const std::string longText = "<r>" + std::string(kMaxSoapText + 1, 'x') + "</r>";
    const std::string good = Envelope(kHostname);

    struct TCase {
        const char* name;
        std::string bytes;
        TSoapReadError error;
    } cases[] = {
        {"billion laughs", laughs, TSoapReadError::kDtd},
        {"external entity", external, TSoapReadError::kDtd},
        {"undeclared entity", Envelope("<tds:GetHostnameResponse>&x;</tds:GetHostnameResponse>"),
         TSoapReadError::kMalformed},
        {"too deep", deep, TSoapReadError::kTooLarge},
        {"too long", wide, TSoapReadError::kTooLarge},
        {"too many elements", many, TSoapReadError::kTooLarge},
        {"too long a text", longText, TSoapReadError::kTooLarge},
        {"cut short", good.substr(0, good.size() / 2), TSoapReadError::kMalformed},
        {"empty", "", TSoapReadError::kMalformed},
        {"not XML", "HTTP/1.1 200 OK", TSoapReadError::kMalformed},
        {"unbound prefix", "<tds:X/>", TSoapReadError::kMalformed},
        {"two roots", "<a/><b/>", TSoapReadError::kMalformed},
        {"not SOAP", "<html><body>login</body></html>", TSoapReadError::kNotSoap},
        {"no body", "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"/>",
         TSoapReadError::kNotSoap},
        {"empty body", Envelope(""), TSoapReadError::kNotSoap},
        {"good", good, TSoapReadError::kNone},
    };
    for (const TCase& c : cases) {
        const TSoapAnswer answer = ReadSoapAnswer(c.bytes);
        EXPECT_EQ(answer.error, c.error) << c.name << ": " << answer.errorText;
        EXPECT_EQ(answer.errorText.empty(), c.error == TSoapReadError::kNone) << c.name;
    }
}

} // namespace
} // namespace zadari
