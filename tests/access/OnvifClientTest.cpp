// The ONVIF device management client against a transport that answers with canned SOAP.
#include "access/OnvifClient.h"

#include "OnvifTestDevice.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

using namespace onviftest;

constexpr std::int64_t kDeviceClock = 1284623445000; // 2010-09-16T07:50:45Z, kSystemDateAndTime

struct OnvifClientTest : ::testing::Test {
    TFakeTransport transport;
    TOnvifClient client{transport, "http://192.168.0.90/onvif/device_service"};
    std::int64_t now = kDeviceClock - 3600 * 1000; // our clock runs an hour behind the camera's

    void SetUp() override {
        transport.handler = &CannedAnswer;
        client.clock = [this] { return now; };
        client.SetAccount("admin", "s3cret-pw");
    }
    /// The UsernameToken of a recorded request (empty tree when there is none).
    TXmlElement TokenOf(const TOnvifHttpRequest& request) {
        TXmlElement root;
        ReadXmlTree(request.body, root, nullptr);
        const TXmlElement* header = root.Child(OnvifNs::kSoapEnvelope, "Header");
        const TXmlElement* security =
            header == nullptr ? nullptr : header->Child(OnvifNs::kWsse, "Security");
        const TXmlElement* token =
            security == nullptr ? nullptr : security->Child(OnvifNs::kWsse, "UsernameToken");
        return token == nullptr ? TXmlElement{} : *token;
    }
};

TEST_F(OnvifClientTest, ReadsEveryGetCallFromItsAnswer) {
    const auto time = client.GetSystemDateAndTime();
    ASSERT_TRUE(time.Ok()) << time.detail;
    EXPECT_EQ(time.value.dateTimeType, "NTP");
    EXPECT_TRUE(time.value.daylightSavings);
    EXPECT_EQ(time.value.timeZone, "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_TRUE(time.value.hasUtc);
    EXPECT_EQ(time.value.utcMsecs, kDeviceClock);

    const auto info = client.GetDeviceInformation();
    ASSERT_TRUE(info.Ok()) << info.detail;
    EXPECT_EQ(info.value.manufacturer, "Zadari Test Optics");
    EXPECT_EQ(info.value.model, "NVT-100");
    EXPECT_EQ(info.value.firmwareVersion, "2.4.1 build 7");
    EXPECT_EQ(info.value.serialNumber, "SN0042");
    EXPECT_EQ(info.value.hardwareId, "HW-7");

    const auto interfaces = client.GetNetworkInterfaces();
    ASSERT_TRUE(interfaces.Ok()) << interfaces.detail;
    ASSERT_EQ(interfaces.value.size(), 2u);
    const TOnvifNetworkInterface& wlan = interfaces.value[0];
    EXPECT_EQ(wlan.token, "wlan0");
    EXPECT_FALSE(wlan.enabled);
    EXPECT_TRUE(wlan.dhcp);
    EXPECT_TRUE(wlan.manual.empty());
    ASSERT_TRUE(wlan.fromDhcp.has_value());
    EXPECT_EQ(*wlan.fromDhcp, (TOnvifIPv4{"10.1.2.3", 16}));
    const TOnvifNetworkInterface& eth = interfaces.value[1];
    EXPECT_EQ(eth.token, "eth0");
    EXPECT_TRUE(eth.enabled);
    EXPECT_EQ(eth.name, "eth0");
    EXPECT_EQ(eth.hwAddress, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(eth.mtu, 1500);
    EXPECT_TRUE(eth.hasIPv4);
    EXPECT_TRUE(eth.ipv4Enabled);
    EXPECT_FALSE(eth.dhcp);
    ASSERT_EQ(eth.manual.size(), 1u);
    EXPECT_EQ(eth.manual[0], (TOnvifIPv4{"192.168.0.90", 24}));
    ASSERT_TRUE(eth.linkLocal.has_value());
    EXPECT_EQ(eth.linkLocal->address, "169.254.10.20");
    EXPECT_FALSE(eth.fromDhcp.has_value());

    const auto gateway = client.GetNetworkDefaultGateway();
    ASSERT_TRUE(gateway.Ok()) << gateway.detail;
    EXPECT_EQ(gateway.value.ipv4, std::vector<std::string>{"192.168.0.1"});
    EXPECT_EQ(gateway.value.ipv6, std::vector<std::string>{"fe80::1"});

    const auto dns = client.GetDNS();
    ASSERT_TRUE(dns.Ok()) << dns.detail;
    EXPECT_FALSE(dns.value.fromDhcp);
    EXPECT_EQ(dns.value.searchDomains, std::vector<std::string>{"site.example"});
    EXPECT_EQ(dns.value.dnsManual, (std::vector<std::string>{"192.168.0.2", "2001:db8::53"}));
    EXPECT_TRUE(dns.value.dnsFromDhcp.empty());

    const auto hostname = client.GetHostname();
    ASSERT_TRUE(hostname.Ok()) << hostname.detail;
    EXPECT_EQ(hostname.value.name, "lobby-cam");
    EXPECT_FALSE(hostname.value.fromDhcp);

    const auto protocols = client.GetNetworkProtocols();
    ASSERT_TRUE(protocols.Ok()) << protocols.detail;
    ASSERT_EQ(protocols.value.size(), 3u);
    EXPECT_EQ(protocols.value[0].name, "HTTP");
    EXPECT_TRUE(protocols.value[0].enabled);
    EXPECT_EQ(protocols.value[0].ports, (std::vector<int>{8080, 8081}));
    EXPECT_EQ(protocols.value[1].name, "HTTPS");
    EXPECT_FALSE(protocols.value[1].enabled);

    const auto set = client.SetNetworkInterfaces("eth0", {false, {"192.168.0.91", 24}});
    ASSERT_TRUE(set.Ok()) << set.detail;
    EXPECT_TRUE(set.value); // RebootNeeded
    const auto reboot = client.SystemReboot();
    ASSERT_TRUE(reboot.Ok()) << reboot.detail;
    EXPECT_EQ(reboot.value, "Rebooting in 5 seconds");

    for (const TOnvifHttpRequest& request : transport.requests) {
        EXPECT_EQ(request.url, "http://192.168.0.90/onvif/device_service");
        EXPECT_EQ(request.action, "http://www.onvif.org/ver10/device/wsdl/" + OperationOf(request));
    }
}

TEST_F(OnvifClientTest, CreatedFollowsTheCameraClockAndEachRequestHasItsOwnNonce) {
    // The first authenticated call learns the clock without the account, then signs.
    ASSERT_TRUE(client.GetHostname().Ok());
    ASSERT_TRUE(client.GetHostname().Ok());
    ASSERT_EQ(transport.Operations(),
              (std::vector<std::string>{"GetSystemDateAndTime", "GetHostname", "GetHostname"}));
    EXPECT_TRUE(TokenOf(transport.requests[0]).name.isEmpty());
    EXPECT_TRUE(client.ClockKnown());
    EXPECT_EQ(client.ClockOffsetMs(), 3600 * 1000);

    const TXmlElement first = TokenOf(transport.requests[1]);
    const TXmlElement second = TokenOf(transport.requests[2]);
    // Our clock says 06:50:45; the camera's says 07:50:45.
    EXPECT_EQ(first.ChildText(OnvifNs::kWsu, "Created"), QStringLiteral("2010-09-16T07:50:45Z"));
    const QString nonce1 = first.ChildText(OnvifNs::kWsse, "Nonce");
    const QString nonce2 = second.ChildText(OnvifNs::kWsse, "Nonce");
    EXPECT_EQ(QByteArray::fromBase64(nonce1.toLatin1()).size(), 16);
    EXPECT_NE(nonce1, nonce2);
    // The digest covers this request's own nonce and Created.
    EXPECT_EQ(first.ChildText(OnvifNs::kWsse, "Password").toStdString(),
              OnvifPasswordDigest(QByteArray::fromBase64(nonce1.toLatin1()), "2010-09-16T07:50:45Z",
                                  "s3cret-pw"));
    for (const TOnvifHttpRequest& request : transport.requests)
        EXPECT_EQ(request.body.find("s3cret-pw"), std::string::npos);
}

TEST_F(OnvifClientTest, TimeIsAskedWithTheAccountWhenTheCameraInsists) {
    transport.handler = [](const TOnvifHttpRequest& request) {
        if (request.body.find("UsernameToken") == std::string::npos)
            return Answer(400, Fault("SOAP-ENV:Sender", {"ter:NotAuthorized"}, "no"));
        return CannedAnswer(request);
    };
    const auto time = client.GetSystemDateAndTime();
    ASSERT_TRUE(time.Ok()) << time.detail;
    EXPECT_EQ(transport.requests.size(), 2u);
}

TEST_F(OnvifClientTest, FailuresBecomeMessageKeysWithoutTheAccount) {
    auto failure = [](TOnvifHttpAnswer::TFailure kind) {
        TOnvifHttpAnswer answer;
        answer.failure = kind;
        answer.failureText = "transport says no";
        return answer;
    };
    struct TCase {
        const char* name;
        TOnvifHttpAnswer answer;
        TOnvifError error;
        const char* key;
    } cases[] = {
        {"fault not authorized",
         Answer(400, Fault("SOAP-ENV:Sender", {"ter:NotAuthorized"}, "Sender not Authorized")),
         TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
        {"reason echoing the password",
         Answer(400, Fault("SOAP-ENV:Sender", {"ter:NotAuthorized"}, "bad password s3cret-pw")),
         TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
        {"HTTP 401 without SOAP", Answer(401, "<html>401</html>"), TOnvifError::kNotAuthorized,
         "IDS_ONVIF_NOTAUTHORIZED"},
        {"plain fault with 401", Answer(401, Fault("SOAP-ENV:Sender", {}, "denied")),
         TOnvifError::kNotAuthorized, "IDS_ONVIF_NOTAUTHORIZED"},
        {"invalid value",
         Answer(400, Fault("SOAP-ENV:Sender", {"ter:InvalidArgVal", "ter:InvalidHostname"}, "x")),
         TOnvifError::kBadName, "IDS_ONVIF_BADNAME"},
        {"HTTP 500 without SOAP", Answer(500, ""), TOnvifError::kHttp, "IDS_ONVIF_HTTPERROR"},
        {"HTTP 404", Answer(404, "<html/>"), TOnvifError::kHttp, "IDS_ONVIF_HTTPERROR"},
        {"timeout", failure(TOnvifHttpAnswer::TFailure::kTimeout), TOnvifError::kTimeout,
         "IDS_ONVIF_TIMEOUT"},
        {"refused", failure(TOnvifHttpAnswer::TFailure::kConnect), TOnvifError::kConnect,
         "IDS_ONVIF_CONNECT"},
        {"too large", failure(TOnvifHttpAnswer::TFailure::kTooLarge), TOnvifError::kBadAnswer,
         "IDS_ONVIF_BADANSWER"},
        {"malformed", Answer(200, "<SOAP-ENV:Envelope"), TOnvifError::kBadAnswer,
         "IDS_ONVIF_BADANSWER"},
        {"another call's answer", Ok(kDeviceInformation), TOnvifError::kBadAnswer,
         "IDS_ONVIF_BADANSWER"},
        {"answer without its content", Ok("<tds:GetHostnameResponse/>"), TOnvifError::kBadAnswer,
         "IDS_ONVIF_BADANSWER"},
    };
    client.SetClockOffsetMs(0);
    for (const TCase& c : cases) {
        transport.handler = [&c](const TOnvifHttpRequest&) { return c.answer; };
        const auto result = client.GetHostname();
        EXPECT_EQ(result.error, c.error) << c.name << ": " << result.detail;
        EXPECT_EQ(result.messageKey, c.key) << c.name;
        EXPECT_EQ(result.detail.rfind("GetHostname: ", 0), 0u) << c.name << ": " << result.detail;
        EXPECT_EQ(result.detail.find("s3cret-pw"), std::string::npos) << c.name;
        EXPECT_EQ(result.detail.find("admin"), std::string::npos) << c.name;
    }
}

TEST_F(OnvifClientTest, AnUnreachableCameraIsAskedOnce) {
    transport.handler = [](const TOnvifHttpRequest&) {
        TOnvifHttpAnswer answer;
        answer.failure = TOnvifHttpAnswer::TFailure::kConnect;
        return answer;
    };
    EXPECT_EQ(client.GetDeviceInformation().error, TOnvifError::kConnect);
    EXPECT_EQ(transport.Operations(), std::vector<std::string>{"GetSystemDateAndTime"});

    TOnvifClient noService(transport, "");
    EXPECT_EQ(noService.GetHostname().messageKey, "IDS_ONVIF_NOSERVICE");
}

TEST_F(OnvifClientTest, WithoutAnAccountNoTokenIsSent) {
    client.SetAccount("", "");
    ASSERT_TRUE(client.GetHostname().Ok());
    ASSERT_EQ(transport.requests.size(), 1u);
    EXPECT_EQ(transport.requests[0].body.find("Security"), std::string::npos);
    EXPECT_TRUE(transport.requests[0].user.empty());
}

} // namespace
} // namespace zadari
