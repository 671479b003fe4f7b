// Reading an ONVIF camera's network settings and applying edited ones in a safe order.
#include "access/OnvifSettings.h"

#include "OnvifTestDevice.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

namespace zadari {
namespace {

using namespace onviftest;

TEST(OnvifSettingsHelpers, MasksAndPrefixes) {
    const std::pair<const char*, int> masks[] = {
        {"0.0.0.0", 0},        {"128.0.0.0", 1},        {"255.0.0.0", 8},
        {"255.255.255.0", 24}, {"255.255.255.252", 30}, {"255.255.255.255", 32},
        {"255.255.240.0", 20},
    };
    for (const auto& [mask, prefix] : masks) {
        int read = -1;
        EXPECT_TRUE(MaskToPrefix(mask, read)) << mask;
        EXPECT_EQ(read, prefix) << mask;
        EXPECT_EQ(PrefixToMask(prefix), mask);
    }
    for (const char* bad :
         {"255.0.255.0", "255.255.255.1", "0.255.255.255", "255.255.255", "255.255.255.256",
          "255.255.255.0.0", "", "a.b.c.d", "255.255.0255.0"}) {
        int read = -1;
        EXPECT_FALSE(MaskToPrefix(bad, read)) << bad;
    }
    EXPECT_EQ(PrefixToMask(33), "");
    EXPECT_EQ(PrefixToMask(-1), "");
}

TEST(OnvifSettingsHelpers, HostNames) {
    const std::string fullLabel(63, 'x');
    const std::string longLabel(64, 'x');
    for (const char* good : {"cam", "lobby-cam-2", "CAM7", "a.b-c.d", fullLabel.c_str()})
        EXPECT_TRUE(IsValidHostname(good)) << good;
    for (const char* bad : {"", "cam 1", "-cam", "cam-", "a..b", ".a", "a.", "cam_1",
                            "kamera\xC3\xA4", longLabel.c_str(), "a.-b"})
        EXPECT_FALSE(IsValidHostname(bad)) << bad;
}

struct OnvifSettingsTest : ::testing::Test {
    TSimCamera camera;
    TFakeTransport transport;
    TOnvifClient client{transport, "http://192.168.0.90/onvif/device_service"};

    void SetUp() override {
        transport.handler = [this](const TOnvifHttpRequest& r) { return camera.Handle(r); };
        client.SetAccount("admin", "pw");
    }
    TOnvifNetworkSettings Read() {
        const auto read = ReadOnvifSettings(client, camera.ip);
        EXPECT_TRUE(read.Ok()) << read.detail;
        transport.requests.clear();
        return read.value;
    }
    /// The set calls sent since the last Read.
    std::vector<std::string> Sent() const {
        std::vector<std::string> ops;
        for (const std::string& op : transport.Operations()) {
            if (op.rfind("Get", 0) != 0)
                ops.push_back(op);
        }
        return ops;
    }
};

TEST_F(OnvifSettingsTest, ReadsWhatThePanelShows) {
    camera.httpPort = 8080;
    const auto read = ReadOnvifSettings(client, "192.168.0.90");
    ASSERT_TRUE(read.Ok()) << read.detail;
    const TOnvifNetworkSettings& s = read.value;
    EXPECT_EQ(s.name, "lobby-cam");
    EXPECT_EQ(s.httpPort, 8080);
    EXPECT_FALSE(s.dhcp);
    EXPECT_EQ(s.ip, "192.168.0.90");
    EXPECT_EQ(s.prefixLength, 24);
    EXPECT_EQ(s.mask, "255.255.255.0");
    EXPECT_EQ(s.gateway, "192.168.0.1");
    EXPECT_EQ(s.interfaceToken, "eth0");
    EXPECT_EQ(s.mac, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(s.dns, (std::vector<std::string>{"192.168.0.2", "2001:db8::53"}));
    EXPECT_EQ(s.device.model, "NVT-100");

    TDevInfo record;
    OnvifSettingsToRecord(s, record);
    EXPECT_EQ(record.name, "lobby-cam");
    EXPECT_EQ(record.httpPort, 8080);
    EXPECT_EQ(record.ipMode, 2);
    EXPECT_EQ(record.mask, "255.255.255.0");
    EXPECT_EQ(record.version, "2.4.1 build 7");

    const QJsonObject json = OnvifSettingsJson(s, client.XAddr());
    EXPECT_EQ(json[QStringLiteral("network")][QStringLiteral("ip")].toString(),
              QStringLiteral("192.168.0.90"));
    EXPECT_EQ(json[QStringLiteral("device")][QStringLiteral("serialNumber")].toString(),
              QStringLiteral("SN0042"));
    EXPECT_EQ(QJsonDocument(json).toJson().indexOf("pw\""), -1);
}

TEST_F(OnvifSettingsTest, PicksTheInterfaceTheCameraWasFoundAt) {
    transport.handler = &CannedAnswer; // wlan0 (DHCP 10.1.2.3) is listed before eth0
    const auto byAddress = ReadOnvifSettings(client, "10.1.2.3");
    ASSERT_TRUE(byAddress.Ok()) << byAddress.detail;
    EXPECT_EQ(byAddress.value.interfaceToken, "wlan0");
    EXPECT_TRUE(byAddress.value.dhcp);
    EXPECT_EQ(byAddress.value.mask, "255.255.0.0");
    // Unknown address: the first enabled interface.
    const auto byDefault = ReadOnvifSettings(client, "172.16.0.1");
    EXPECT_EQ(byDefault.value.interfaceToken, "eth0");
    EXPECT_EQ(byDefault.value.httpPort, 8080);
}

TEST_F(OnvifSettingsTest, AppliesInSafeOrderAddressLastThenReboots) {
    const TOnvifNetworkSettings current = Read();
    TOnvifNetworkSettings edited = current;
    edited.name = "gate-cam";
    edited.httpPort = 8000;
    edited.gateway = "10.0.0.1";
    edited.ip = "10.0.0.50";
    edited.mask = "255.255.0.0";

    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    ASSERT_TRUE(report.Ok()) << report.detail;
    EXPECT_EQ(Sent(), (std::vector<std::string>{"SetHostname", "SetNetworkProtocols",
                                                "SetNetworkDefaultGateway", "SetNetworkInterfaces",
                                                "SystemReboot"}));
    EXPECT_EQ(report.done, (std::vector<TOnvifStep>{TOnvifStep::kHostname, TOnvifStep::kHttpPort,
                                                    TOnvifStep::kGateway, TOnvifStep::kAddress,
                                                    TOnvifStep::kReboot}));
    EXPECT_TRUE(report.rebootNeeded);
    EXPECT_EQ(camera.hostname, "gate-cam");
    EXPECT_EQ(camera.httpPort, 8000);
    EXPECT_EQ(camera.gateway, "10.0.0.1");
    EXPECT_EQ(camera.ip, "10.0.0.50");
    EXPECT_EQ(camera.prefix, 16);
    // The fake answers on any port: the service followed the HTTP port.
    EXPECT_EQ(report.xaddr, "http://192.168.0.90:8000/onvif/device_service");
}

TEST_F(OnvifSettingsTest, ACameraThatTookItsNewAddressAtOnceIsAskedToRestartThere) {
    camera.appliesAtOnce = true;
    const TOnvifNetworkSettings current = Read();
    TOnvifNetworkSettings edited = current;
    edited.ip = "192.168.0.91";
    transport.handler = [this](const TOnvifHttpRequest& r) {
        // Once moved, the camera no longer answers at its old address.
        if (camera.ip != "192.168.0.90")
            camera.deadUrls = {"http://192.168.0.90/onvif/device_service"};
        return camera.Handle(r);
    };
    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    ASSERT_TRUE(report.Ok()) << report.detail;
    EXPECT_EQ(camera.reboots, 1);
    EXPECT_EQ(transport.requests.back().url, "http://192.168.0.91/onvif/device_service");
    EXPECT_EQ(report.xaddr, "http://192.168.0.91/onvif/device_service");
}

TEST_F(OnvifSettingsTest, SendsOnlyWhatChanged) {
    const TOnvifNetworkSettings current = Read();
    EXPECT_FALSE(ApplyOnvifSettings(client, current, current).Changed());
    EXPECT_TRUE(Sent().empty());

    TOnvifNetworkSettings edited = current;
    edited.gateway = "192.168.0.254";
    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    ASSERT_TRUE(report.Ok()) << report.detail;
    EXPECT_EQ(Sent(), std::vector<std::string>{"SetNetworkDefaultGateway"});
    EXPECT_FALSE(report.rebootNeeded);
}

TEST_F(OnvifSettingsTest, SwitchingDhcpOnSendsNoGatewayAndNoManualAddress) {
    camera.rebootNeeded = false;
    const TOnvifNetworkSettings current = Read();
    TDevInfo record;
    OnvifSettingsToRecord(current, record);
    record.ipMode = 1;
    record.gateway = "192.168.0.254";
    TOnvifNetworkSettings edited;
    ASSERT_TRUE(OnvifSettingsFromRecord(current, record, edited));

    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    ASSERT_TRUE(report.Ok()) << report.detail;
    // The name servers come from DHCP too.
    EXPECT_EQ(Sent(), (std::vector<std::string>{"SetDNS", "SetNetworkInterfaces"}));
    EXPECT_TRUE(camera.dnsFromDhcp);
    EXPECT_TRUE(camera.dhcp);
    EXPECT_EQ(camera.gateway, "192.168.0.1");
    EXPECT_EQ(RequestOperation(transport.requests.back())
                  .Child(OnvifNs::kDevice, "NetworkInterface")
                  ->Child(OnvifNs::kSchema, "IPv4")
                  ->Child(OnvifNs::kSchema, "Manual"),
              nullptr);

    record.ipMode = 0; // PPPoE is not an ONVIF mode
    TOnvifStatus status;
    EXPECT_FALSE(OnvifSettingsFromRecord(current, record, edited, &status));
    EXPECT_EQ(status.messageKey, "IDS_ONVIF_INVALIDARG");
}

TEST_F(OnvifSettingsTest, SwitchingDhcpOffKeepsTheGatewayAndNameServersDhcpGave) {
    camera.dhcp = true;
    camera.dnsFromDhcp = true;
    camera.dns = {"10.0.0.53", "10.0.0.54"};
    const TOnvifNetworkSettings current = Read();
    ASSERT_TRUE(current.dhcp);
    TOnvifNetworkSettings edited = current;
    edited.dhcp = false; // same address, mask and gateway, now by hand

    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    ASSERT_TRUE(report.Ok()) << report.detail;
    EXPECT_EQ(Sent(), (std::vector<std::string>{"SetDNS", "SetNetworkDefaultGateway",
                                                "SetNetworkInterfaces", "SystemReboot"}));
    EXPECT_FALSE(camera.dhcp);
    EXPECT_FALSE(camera.dnsFromDhcp);
    EXPECT_EQ(camera.dns, (std::vector<std::string>{"10.0.0.53", "10.0.0.54"}));
    EXPECT_EQ(camera.gateway, "192.168.0.1");
    EXPECT_EQ(camera.ip, "192.168.0.90");
}

TEST_F(OnvifSettingsTest, TheNameIsTheNameScopeAndARenameChangesItAndTheHostName) {
    camera.scopeName = "Lobby Cam";
    const TOnvifNetworkSettings current = Read();
    EXPECT_EQ(current.name, "Lobby Cam");
    EXPECT_EQ(current.hostname, "lobby-cam");
    ASSERT_TRUE(NameScopeWritable(current));

    struct TCase {
        const char* name;
        std::vector<std::string> sent;
    } cases[] = {
        // A valid host name goes to both; any other text to the scope alone.
        {"gate-cam", {"SetHostname", "SetScopes"}},
        {"Gate Cam 2", {"SetScopes"}},
        {"lobby-cam", {"SetScopes"}}, // the host name is that already
    };
    for (const TCase& c : cases) {
        transport.requests.clear();
        TOnvifNetworkSettings edited = current;
        edited.name = c.name;
        const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
        ASSERT_TRUE(report.Ok()) << c.name << ": " << report.detail;
        EXPECT_EQ(Sent(), c.sent) << c.name;
        EXPECT_EQ(camera.scopeName, c.name);
    }
    // The other configurable scopes stay; the fixed ones are not sent.
    const TXmlElement set = RequestOperation(transport.requests.back());
    std::vector<std::string> scopes;
    for (const TXmlElement* scope : set.Children(OnvifNs::kDevice, "Scopes"))
        scopes.push_back(scope->text.toStdString());
    EXPECT_EQ(scopes, (std::vector<std::string>{"onvif://www.onvif.org/location/city/Zadar",
                                                "onvif://www.onvif.org/name/lobby-cam"}));
}

TEST_F(OnvifSettingsTest, AFixedOrMissingNameScopeLeavesTheHostNameAlone) {
    for (const bool fixed : {true, false}) {
        camera = TSimCamera{};
        camera.scopeName = fixed ? "Lobby Cam" : "";
        camera.nameScopeFixed = fixed;
        const TOnvifNetworkSettings current = Read();
        EXPECT_FALSE(NameScopeWritable(current));
        TOnvifNetworkSettings edited = current;
        edited.name = "Gate Cam";
        EXPECT_EQ(ApplyOnvifSettings(client, current, edited).messageKey, "IDS_ONVIF_BADNAME");
        edited.name = "gate-cam";
        const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
        ASSERT_TRUE(report.Ok()) << report.detail;
        EXPECT_EQ(Sent(), std::vector<std::string>{"SetHostname"});
    }
}

TEST_F(OnvifSettingsTest, RefusedValuesSendNothing) {
    const TOnvifNetworkSettings current = Read();
    struct TCase {
        const char* name;
        std::function<void(TOnvifNetworkSettings&)> edit;
        const char* key;
    } cases[] = {
        {"name with a blank", [](auto& s) { s.name = "gate cam"; }, "IDS_ONVIF_BADNAME"},
        {"mask with a hole", [](auto& s) { s.mask = "255.0.255.0"; }, "IDS_ONVIF_BADMASK"},
        {"mask of nothing", [](auto& s) { s.mask = "0.0.0.0"; }, "IDS_ONVIF_BADMASK"},
        {"multicast address", [](auto& s) { s.ip = "239.1.1.1"; }, "IDS_ONVIF_BADADDRESS"},
        {"subnet's own address", [](auto& s) { s.ip = "192.168.0.0"; }, "IDS_ONVIF_BADADDRESS"},
        {"broadcast address", [](auto& s) { s.ip = "192.168.0.255"; }, "IDS_ONVIF_BADADDRESS"},
        {"address of nothing", [](auto& s) { s.ip = "0.0.0.0"; }, "IDS_ONVIF_BADADDRESS"},
        {"gateway text", [](auto& s) { s.gateway = "gw"; }, "IDS_ONVIF_BADADDRESS"},
        {"port 0", [](auto& s) { s.httpPort = 0; }, "IDS_ONVIF_INVALIDARG"},
    };
    for (const TCase& c : cases) {
        TOnvifNetworkSettings edited = current;
        edited.name = "gate-cam"; // a valid change that must not go out either
        c.edit(edited);
        const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
        EXPECT_EQ(report.messageKey, c.key) << c.name;
        EXPECT_FALSE(report.Changed()) << c.name;
    }
    EXPECT_TRUE(transport.requests.empty());
    EXPECT_EQ(camera.hostname, "lobby-cam");
}

TEST_F(OnvifSettingsTest, StopsAtTheFirstFaultAndSaysWhatWasDone) {
    const TOnvifNetworkSettings current = Read();
    TOnvifNetworkSettings edited = current;
    edited.name = "gate-cam";
    edited.gateway = "192.168.0.254";
    edited.ip = "192.168.0.91";
    camera.failOn = "SetNetworkDefaultGateway";
    camera.failure = Answer(
        400, Fault("SOAP-ENV:Sender", {"ter:InvalidArgVal", "ter:InvalidGatewayAddress"}, "no"));

    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    EXPECT_EQ(report.messageKey, "IDS_ONVIF_BADADDRESS");
    EXPECT_EQ(report.done, std::vector<TOnvifStep>{TOnvifStep::kHostname});
    EXPECT_EQ(Sent(), (std::vector<std::string>{"SetHostname", "SetNetworkDefaultGateway"}));
    EXPECT_EQ(camera.ip, "192.168.0.90");
}

TEST_F(OnvifSettingsTest, AWrongPasswordChangesNothing) {
    camera.failOn = "GetDeviceInformation";
    camera.failure = Answer(400, Fault("SOAP-ENV:Sender", {"ter:NotAuthorized"}, "no"));
    const auto read = ReadOnvifSettings(client, camera.ip);
    EXPECT_EQ(read.messageKey, "IDS_ONVIF_NOTAUTHORIZED");

    camera.failOn = "SetHostname";
    TOnvifNetworkSettings current;
    current.name = "lobby-cam";
    current.httpPort = 80;
    current.ip = "192.168.0.90";
    current.prefixLength = 24;
    current.mask = "255.255.255.0";
    current.gateway = "192.168.0.1";
    current.interfaceToken = "eth0";
    TOnvifNetworkSettings edited = current;
    edited.name = "gate-cam";
    edited.ip = "192.168.0.91";
    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    EXPECT_EQ(report.messageKey, "IDS_ONVIF_NOTAUTHORIZED");
    EXPECT_FALSE(report.Changed());
    EXPECT_EQ(camera.ip, "192.168.0.90");
}

TEST_F(OnvifSettingsTest, KeepsTheOldServicePortWhileTheNewOneIsClosed) {
    const TOnvifNetworkSettings current = Read();
    TOnvifNetworkSettings edited = current;
    edited.httpPort = 8080;
    edited.ip = "192.168.0.91";
    camera.deadUrls = {"http://192.168.0.90:8080/onvif/device_service"};

    const TOnvifApplyReport report = ApplyOnvifSettings(client, current, edited);
    ASSERT_TRUE(report.Ok()) << report.detail;
    EXPECT_EQ(report.xaddr, "http://192.168.0.90/onvif/device_service");
    EXPECT_EQ(camera.ip, "192.168.0.91");
    EXPECT_EQ(transport.requests.back().url, "http://192.168.0.90/onvif/device_service");
}

} // namespace
} // namespace zadari
