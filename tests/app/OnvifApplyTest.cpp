// Apply on devices that only ONVIF found: the account is asked, the camera's settings are read
// through its device service (a simulated camera behind a fake transport), values left as the
// row showed them keep the camera's own, and the change goes out address last. The fleet run
// reaches such cameras through the same flow.
#include "app/ApplyFlow.h"
#include "app/DeviceList.h"
#include "app/FleetRun.h"
#include "app/OnvifCarrier.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "common/QuietEndpoints.h"
#include "i18n/StrRes.h"
#include "protocols/Encoding.h"
#include "standards/StandardsMac.h"

#include "access/OnvifTestDevice.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace zadari {
namespace {

using namespace onviftest;

constexpr char kMac[] = "00:1A:2B:3C:4D:5E";

/// A row as WS-Discovery enters it: address, name scope, service address, nothing else.
TDevInfo Discovered(const std::string& ip = "192.168.0.90", const std::string& name = "Lobby Cam",
                    std::vector<std::string> xaddrs = {}) {
    TDevInfo record;
    record.family = kFamilyOnvif;
    record.mac = kMac;
    record.macKey = "001A2B3C4D5E";
    record.ip = ip;
    record.name = name;
    record.httpPort = 80;
    TStandardsInfo info;
    info.onvif.emplace();
    info.onvif->endpoint = "urn:uuid:5a0e0000-0000-4000-8000-001a2b3c4d5e";
    info.onvif->name = name;
    info.onvif->xaddrs = xaddrs.empty()
                             ? std::vector<std::string>{"http://" + ip + "/onvif/device_service"}
                             : std::move(xaddrs);
    record.standards = TStandardsRef(std::move(info));
    return record;
}

/// Forwards to a transport the test keeps.
class TForwardingTransport : public IOnvifTransport {
public:
    explicit TForwardingTransport(IOnvifTransport& inner) : inner_(inner) {}
    TOnvifHttpAnswer Post(const TOnvifHttpRequest& request) override {
        return inner_.Post(request);
    }

private:
    IOnvifTransport& inner_;
};

class TAsker : public ICredentialsProvider {
public:
    std::optional<TCredentials> AskCredentials(std::int32_t family,
                                               const TCredentials& presets) override {
        ++asked;
        askedFamily = family;
        shownPresets = presets;
        return answer;
    }
    std::optional<TCredentials> answer = TCredentials{"admin", "secret"};
    int asked = 0;
    std::int32_t askedFamily = kFamilyNone;
    TCredentials shownPresets;
};

TEST(OnvifServiceAddress, TheXAddrOnTheAnsweringAddressElseTheFirstMovedThere) {
    struct TCase {
        const char* ip;
        std::vector<std::string> xaddrs;
        const char* expected;
    } cases[] = {
        {"10.0.0.5",
         {"http://10.0.0.5/onvif/device_service"},
         "http://10.0.0.5/onvif/device_service"},
        {"10.0.0.5",
         {"http://[fe80::1]/onvif/device_service", "http://192.168.1.9:8000/onvif/ds",
          "http://10.0.0.5:8080/onvif/ds"},
         "http://10.0.0.5:8080/onvif/ds"},
        // A stale address is replaced by the one the camera answered from.
        {"10.0.0.5",
         {"http://192.168.1.9:8000/onvif/device_service"},
         "http://10.0.0.5:8000/onvif/device_service"},
        {"10.0.0.5", {"ftp://10.0.0.5/x", "not a url"}, ""},
        {"10.0.0.5", {}, ""},
    };
    for (const TCase& c : cases) {
        TDevInfo listed = Discovered(c.ip, "cam", {"placeholder"});
        listed.standards.Edit().onvif->xaddrs = c.xaddrs;
        EXPECT_EQ(OnvifServiceAddress(listed), c.expected) << c.ip;
    }
    TDevInfo plain;
    plain.ip = "10.0.0.5";
    EXPECT_EQ(OnvifServiceAddress(plain), "");
}

struct OnvifApplyTest : ::testing::Test {
    TSimCamera camera;
    TFakeTransport transport;
    TAsker asker;
    TDeviceList list;
    TQuietEndpoints endpoints;
    TSearchEngine engine{list, endpoints};
    TOnvifCarrier carrier{std::make_unique<TForwardingTransport>(transport)};
    TApplyFlow flow{engine, asker};

    void SetUp() override {
        camera.password = "secret";
        camera.scopeName = "Lobby Cam";
        camera.clockMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
        transport.handler = [this](const TOnvifHttpRequest& r) { return camera.Handle(r); };
        flow.pause = [](int) {};
        flow.searchAfterApply = false;
        flow.SetCarrier(TCommandCarrier::kOnvifClient, &carrier);
        list.MergeDevice(Discovered());
    }
    const TDevInfo& Row() const { return *list.FindRowByMac(kMac); }
    bool Listed() const { return list.FindRowByMac(kMac) != nullptr; }
};

TEST_F(OnvifApplyTest, TheFirstApplyReadsTheSettingsAndTheRowKeepsShowingThem) {
    const TApplyResult result = flow.Apply(Row(), TEditedValues::FromRecord(Row()));
    EXPECT_EQ(asker.asked, 1);
    EXPECT_EQ(asker.askedFamily, kFamilyOnvif);
    EXPECT_EQ(asker.shownPresets, (TCredentials{"admin", ""}));
    EXPECT_FALSE(result.Applied());
    EXPECT_EQ(result.reason, TNotAppliedReason::kUnchanged);
    EXPECT_EQ(result.message.key, "IDS_ONVIF_SETTINGSREAD");
    EXPECT_EQ(result.message.style, MsgStyle::kIconInformation);
    EXPECT_TRUE(camera.SetCalls().empty());

    // The row shows what the camera said, also after WS-Discovery answered again.
    for (int probe = 0; probe < 2; ++probe) {
        ASSERT_TRUE(Listed());
        EXPECT_EQ(Row().ipMode, 2);
        EXPECT_EQ(Row().mask, "255.255.255.0");
        EXPECT_EQ(Row().gateway, "192.168.0.1");
        EXPECT_EQ(Row().name, "Lobby Cam");
        EXPECT_EQ(Row().version, "2.4.1 build 7");
        EXPECT_EQ(Row().dns1, "192.168.0.2");
        list.MergeDevice(Discovered());
    }

    // Unchanged again: nothing to send, and the message says so.
    const TApplyResult again = flow.Apply(Row(), TEditedValues::FromRecord(Row()));
    EXPECT_EQ(again.reason, TNotAppliedReason::kUnchanged);
    EXPECT_EQ(again.message.key, "IDS_ONVIF_UNCHANGED");
    EXPECT_TRUE(camera.SetCalls().empty());
}

TEST_F(OnvifApplyTest, ANewAddressGoesOutLastThenTheCameraRestartsAndTheRowGoes) {
    flow.Apply(Row(), TEditedValues::FromRecord(Row())); // read: the row shows the settings
    camera.received.clear();
    TEditedValues values = TEditedValues::FromRecord(Row());
    values.name = "Gate Cam";
    values.ip = "192.168.0.150";
    values.gateway = "192.168.0.254";

    const TApplyResult result = flow.Apply(Row(), values);
    ASSERT_TRUE(result.Applied()) << result.detail;
    EXPECT_EQ(asker.asked, 2); // once per Apply
    EXPECT_EQ(camera.SetCalls(),
              (std::vector<std::string>{"SetScopes", "SetNetworkDefaultGateway",
                                        "SetNetworkInterfaces", "SystemReboot"}));
    EXPECT_EQ(camera.ip, "192.168.0.150");
    EXPECT_EQ(camera.prefix, 24);
    EXPECT_EQ(camera.gateway, "192.168.0.254");
    EXPECT_EQ(camera.scopeName, "Gate Cam");
    EXPECT_EQ(camera.hostname, "lobby-cam"); // "Gate Cam" is no host name
    EXPECT_EQ(camera.reboots, 1);
    EXPECT_EQ(result.carriedBy, "the ONVIF device service");
    EXPECT_EQ(result.message.key, "IDS_ONVIF_REBOOTING");
    EXPECT_EQ(result.message.style, MsgStyle::kIconInformation);
    EXPECT_FALSE(Listed());
    // Every call carried a token of its own; none the password itself.
    for (const TOnvifHttpRequest& request : transport.requests)
        EXPECT_EQ(request.body.find("secret"), std::string::npos) << OperationOf(request);
}

TEST_F(OnvifApplyTest, AValueEditedOnARowNotReadYetKeepsEverythingElseAsTheCameraHasIt) {
    // The row holds only what WS-Discovery said (no mask, gateway or connection type); the
    // fleet run and zadari-cli edit such rows directly.
    TEditedValues values = TEditedValues::FromRecord(Row());
    ASSERT_FALSE(values.ipMode.has_value());
    values.ip = "192.168.0.151";
    const TApplyResult result = flow.Apply(Row(), values);
    ASSERT_TRUE(result.Applied()) << result.detail;
    EXPECT_EQ(asker.asked, 1);
    EXPECT_EQ(camera.SetCalls(),
              (std::vector<std::string>{"SetNetworkInterfaces", "SystemReboot"}));
    EXPECT_EQ(camera.ip, "192.168.0.151");
    EXPECT_EQ(camera.prefix, 24);
    EXPECT_EQ(camera.gateway, "192.168.0.1");
    EXPECT_EQ(result.edited.mask, "255.255.255.0");
    EXPECT_EQ(result.edited.ipMode, 2);
}

TEST_F(OnvifApplyTest, DhcpSwitchedOnTakesTheNameServersFromDhcpToo) {
    camera.rebootNeeded = false;
    TEditedValues values = TEditedValues::FromRecord(Row());
    values.ipMode = 1;
    const TApplyResult result = flow.Apply(Row(), values);
    ASSERT_TRUE(result.Applied()) << result.detail;
    EXPECT_EQ(camera.SetCalls(), (std::vector<std::string>{"SetDNS", "SetNetworkInterfaces"}));
    EXPECT_TRUE(camera.dhcp);
    EXPECT_TRUE(camera.dnsFromDhcp);
    EXPECT_TRUE(result.message.Empty()); // no restart
}

TEST_F(OnvifApplyTest, AWrongPasswordIsReportedAndChangesNothing) {
    asker.answer = TCredentials{"admin", "wrong"};
    TEditedValues values = TEditedValues::FromRecord(Row());
    values.ip = "192.168.0.152";
    const TApplyResult result = flow.Apply(Row(), values);
    EXPECT_FALSE(result.Applied());
    EXPECT_EQ(result.reason, TNotAppliedReason::kCommandFailed);
    EXPECT_TRUE(result.askedCredentials);
    EXPECT_EQ(result.carriedBy, "the ONVIF device service");
    EXPECT_EQ(result.message.key, "IDS_ONVIF_NOTAUTHORIZED");
    EXPECT_EQ(result.message.captionKey, "IDS_ERROR");
    EXPECT_EQ(result.message.style, MsgStyle::kIconError);
    EXPECT_EQ(result.detail.find("wrong"), std::string::npos);
    EXPECT_NE(result.detail.find("NotAuthorized"), std::string::npos) << result.detail;
    EXPECT_TRUE(camera.SetCalls().empty());
    EXPECT_EQ(camera.ip, "192.168.0.90");
    EXPECT_TRUE(Listed());
}

TEST_F(OnvifApplyTest, ACameraWhoseClockIsAnHourOffAcceptsTheDigest) {
    for (const std::int64_t offsetMs : {3600 * 1000LL, -3600 * 1000LL}) {
        camera.clockMs = [offsetMs] { return QDateTime::currentMSecsSinceEpoch() + offsetMs; };
        TEditedValues values = TEditedValues::FromRecord(Row());
        values.gateway = offsetMs > 0 ? "192.168.0.253" : "192.168.0.252";
        const TApplyResult result = flow.Apply(Row(), values);
        ASSERT_TRUE(result.Applied()) << result.detail;
        EXPECT_EQ(camera.gateway, values.gateway);
        list.MergeDevice(Discovered());
    }
    // A Created on our own clock would have been refused.
    camera.clockMs = [] { return QDateTime::currentMSecsSinceEpoch() + 3600 * 1000LL; };
    TSimCamera& sim = camera;
    TFakeTransport direct;
    direct.handler = [&sim](const TOnvifHttpRequest& r) { return sim.Handle(r); };
    TOnvifClient client(direct, "http://192.168.0.90/onvif/device_service");
    client.SetAccount("admin", "secret");
    client.SetClockOffsetMs(0);
    EXPECT_EQ(client.GetHostname().messageKey, "IDS_ONVIF_NOTAUTHORIZED");
}

TEST_F(OnvifApplyTest, UnreachableAndUnannouncedServicesSayWhy) {
    transport.handler = [](const TOnvifHttpRequest&) {
        TOnvifHttpAnswer answer;
        answer.failure = TOnvifHttpAnswer::TFailure::kTimeout;
        return answer;
    };
    const TApplyResult timeout = flow.Apply(Row(), TEditedValues::FromRecord(Row()));
    EXPECT_EQ(timeout.message.key, "IDS_ONVIF_TIMEOUT");
    EXPECT_EQ(transport.requests.size(), 1u); // the clock, then nothing more

    TDevInfo silent = Discovered();
    silent.standards.Edit().onvif->xaddrs.clear();
    list.MergeDevice(silent);
    transport.requests.clear();
    const TApplyResult none = flow.Apply(Row(), TEditedValues::FromRecord(Row()));
    EXPECT_EQ(none.message.key, "IDS_ONVIF_NOSERVICE");
    EXPECT_TRUE(transport.requests.empty());
    EXPECT_EQ(flow.WhyNoCommand(Row()), std::nullopt);
}

TEST_F(OnvifApplyTest, CancellingTheAccountReadsNothing) {
    asker.answer = std::nullopt;
    const TApplyResult result = flow.Apply(Row(), TEditedValues::FromRecord(Row()));
    EXPECT_EQ(result.reason, TNotAppliedReason::kCancelled);
    EXPECT_TRUE(transport.requests.empty());
}

TEST_F(OnvifApplyTest, RefusedValuesAreReportedBeforeAnythingIsSet) {
    struct TCase {
        const char* what;
        std::function<void(TEditedValues&)> edit;
        const char* key;
    } cases[] = {
        {"PPPoE", [](TEditedValues& v) { v.ipMode = 0; }, "IDS_ERRIPCAM"},
        {"broadcast address", [](TEditedValues& v) { v.ip = "192.168.0.255"; },
         "IDS_ONVIF_BADADDRESS"},
        {"mask with a hole", [](TEditedValues& v) { v.mask = "255.0.255.0"; }, "IDS_ONVIF_BADMASK"},
    };
    for (const TCase& c : cases) {
        TEditedValues values = TEditedValues::FromRecord(Row());
        c.edit(values);
        const TApplyResult result = flow.Apply(Row(), values);
        EXPECT_FALSE(result.Applied()) << c.what;
        EXPECT_EQ(result.message.key, c.key) << c.what;
    }
    EXPECT_TRUE(camera.SetCalls().empty());
}

// ---- the fleet run ---------------------------------------------------------------------------

TEST(OnvifFleet, TheRunReAddressesCamerasOnlyOnvifFound) {
    std::map<std::string, TSimCamera> cameras;
    for (const char* mac : {"02:5B:10:00:00:01", "02:5B:10:00:00:02"}) {
        TSimCamera& camera = cameras[mac];
        camera.password = "secret";
        camera.ip = mac[16] == '1' ? "192.168.0.91" : "192.168.0.92";
    }
    TFakeTransport transport;
    transport.handler = [&cameras](const TOnvifHttpRequest& request) {
        for (auto& [mac, camera] : cameras) {
            if (request.url.find("/" + camera.ip + "/") != std::string::npos ||
                request.url.find("//" + camera.ip + "/") != std::string::npos)
                return camera.Handle(request);
        }
        TOnvifHttpAnswer refused;
        refused.failure = TOnvifHttpAnswer::TFailure::kConnect;
        return refused;
    };
    TAsker asker;
    TSessionSetup setup;
    setup.makeOnvifTransport = [&transport] {
        return std::make_unique<TForwardingTransport>(transport);
    };
    TSession session(setup, asker);
    session.ApplyFlow().pause = [](int) {};
    ASSERT_NE(session.OnvifClient(), nullptr);
    std::vector<TPlanEntry> entries;
    for (auto& [mac, camera] : cameras) {
        TDevInfo row = Discovered(camera.ip, "cam");
        row.mac = mac;
        row.macKey = MacKeyOf(mac);
        session.Engine().MergeFound(row);
        TPlanEntry entry;
        entry.mac = NormalisedMac(mac);
        entry.ip = camera.ip == "192.168.0.91" ? "192.168.0.201" : "192.168.0.202";
        // The plan names the mask: the rows hold none until the cameras' settings are read.
        entry.mask = "255.255.255.0";
        entries.push_back(entry);
    }
    const TCheckedPlan plan = CheckPlanAgainst(session, entries);
    ASSERT_TRUE(plan.Valid());
    TFleetRun run(session, asker, plan, 5000);
    QObject::connect(&run, &TFleetRun::CameraChanged, &run, [&](int index) {
        const TFleetCamera& camera = run.Cameras()[static_cast<std::size_t>(index)];
        if (camera.status != TFleetStatus::kVerifying)
            return;
        // The camera announces itself at its new address.
        TDevInfo moved = Discovered(camera.newIp, "cam");
        moved.mac = camera.listed.mac;
        moved.macKey = camera.listed.macKey;
        session.Engine().MergeFound(moved);
    });
    run.Start();
    QElapsedTimer waited;
    waited.start();
    while (!run.Done() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(run.Done());
    EXPECT_TRUE(run.AllVerified()) << run.ReportJson();
    EXPECT_EQ(asker.asked, 1); // one account for the family
    EXPECT_EQ(cameras["02:5B:10:00:00:01"].ip, "192.168.0.201");
    EXPECT_EQ(cameras["02:5B:10:00:00:02"].ip, "192.168.0.202");
    for (auto& [mac, camera] : cameras) {
        EXPECT_EQ(camera.prefix, 24) << mac;
        EXPECT_EQ(camera.gateway, "192.168.0.1") << mac;
    }
}

} // namespace
} // namespace zadari
