// The standard discovery providers over a recording network, the list's merging of what they
// find with the proprietary families' rows, the apply refusal and the JSON of such rows.
#include "app/ApplyFlow.h"
#include "app/DevInfoJson.h"
#include "app/DeviceList.h"
#include "app/SearchEngine.h"
#include "app/StandardsProviders.h"
#include "app/StandardsText.h"
#include "common/QuietEndpoints.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zadari {
namespace {

std::string Corpus(const char* name) {
    QFile file(QStringLiteral(ZADARI_SOURCE_DIR "/fuzz/corpus/") + QString::fromLatin1(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll().toStdString();
}

TByteView View(const std::string& text) {
    return TByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// ---- a network that records -----------------------------------------------------------------

class TFakeNet : public IStandardsNet {
public:
    struct TSent {
        std::string socket;
        std::string text;
        std::string group;
        std::uint16_t port;
    };
    struct TFetch {
        std::string url;
        TFetched done;
    };

    class TSocket : public IStandardsSocket {
    public:
        TSocket(TFakeNet& net, TStandardsSocketSetup setup, THandler handler)
            : net_(net), setup_(std::move(setup)), handler_(std::move(handler)) {
            net_.sockets_[setup_.name] = this;
        }
        ~TSocket() override { net_.sockets_.erase(setup_.name); }
        bool SendToGroup(TByteView bytes, const std::string& group, std::uint16_t port) override {
            net_.sent.push_back(
                {setup_.name, std::string(bytes.begin(), bytes.end()), group, port});
            return true;
        }
        TFakeNet& net_;
        TStandardsSocketSetup setup_;
        THandler handler_;
    };

    std::unique_ptr<IStandardsSocket> Open(const TStandardsSocketSetup& setup,
                                           THandler handler) override {
        if (refused.count(setup.name))
            return nullptr;
        return std::make_unique<TSocket>(*this, setup, std::move(handler));
    }
    std::string NeighbourMac(const std::string& ip) override {
        const auto found = neighbours.find(ip);
        return found == neighbours.end() ? std::string() : found->second;
    }
    void Fetch(const std::string& url, std::size_t, TFetched done) override {
        fetches.push_back({url, std::move(done)});
    }
    void CancelFetches() override { fetches.clear(); }

    /// A datagram arriving at the socket of this name; false when no such socket is open.
    bool Deliver(const std::string& socket, const std::string& text, const std::string& from) {
        const auto found = sockets_.find(socket);
        if (found == sockets_.end())
            return false;
        TStandardsDatagram datagram;
        datagram.bytes = View(text);
        datagram.senderIp = from;
        datagram.senderPort = 3702;
        found->second->handler_(datagram);
        return true;
    }
    const TStandardsSocketSetup* Setup(const std::string& socket) const {
        const auto found = sockets_.find(socket);
        return found == sockets_.end() ? nullptr : &found->second->setup_;
    }

    std::vector<TSent> sent;
    std::vector<TFetch> fetches;
    std::map<std::string, std::string> neighbours;
    std::set<std::string> refused;

private:
    std::map<std::string, TSocket*> sockets_;
};

/// The engine's merge and removal, on a list of its own.
class TListSink : public IDeviceSink {
public:
    void MergeFound(const TDevInfo& record) override { list.MergeDevice(record); }
    void DeviceGone(const std::string& mac) override { list.DeleteRow(list.RowOfMac(mac)); }
    void StandardGone(const std::string& key, std::int32_t family) override {
        gone.emplace_back(key, family);
        list.RemoveStandard(key, family);
    }
    TDeviceList list;
    std::vector<std::pair<std::string, std::int32_t>> gone;
};

const TDevInfo* Row(const TDeviceList& list, const std::string& mac) {
    return list.FindRowByMac(mac);
}

// Processes queued calls and timers for a while.
void Spin(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

std::string Hello(const std::string& endpoint, const std::string& types, const std::string& scopes,
                  const std::string& xaddrs) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
           "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\" "
           "xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\">"
           "<s:Header><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello</a:Action>"
           "<a:MessageID>urn:uuid:0c4e2d3a-0000-4000-8000-000000000001</a:MessageID></s:Header>"
           "<s:Body><d:Hello><a:EndpointReference><a:Address>" +
           endpoint + "</a:Address></a:EndpointReference><d:Types>" + types +
           "</d:Types><d:Scopes>" + scopes + "</d:Scopes><d:XAddrs>" + xaddrs +
           "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:Hello></s:Body></s:Envelope>";
}

std::string Bye(const std::string& endpoint) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">"
           "<s:Header><a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Bye</a:Action>"
           "<a:MessageID>urn:uuid:0c4e2d3a-0000-4000-8000-000000000002</a:MessageID></s:Header>"
           "<s:Body><d:Bye><a:EndpointReference><a:Address>" +
           endpoint + "</a:Address></a:EndpointReference></d:Bye></s:Body></s:Envelope>";
}

struct StandardsProviders : ::testing::Test {
    TFakeNet net;
    TListSink sink;
    TStandardsPacing pacing{3, 0};
};

// ---- WS-Discovery ---------------------------------------------------------------------------

TEST_F(StandardsProviders, WsdProbesBothTypesOnItsOwnPortEveryThirdTickAndOnFind) {
    TWsdProvider wsd(net, pacing);
    ASSERT_TRUE(wsd.Start(sink));
    ASSERT_NE(net.Setup("wsd-probe"), nullptr);
    EXPECT_EQ(net.Setup("wsd-probe")->port, 0);
    ASSERT_NE(net.Setup("wsd-listen"), nullptr);
    EXPECT_EQ(net.Setup("wsd-listen")->port, 3702);
    EXPECT_EQ(net.Setup("wsd-listen")->group, "239.255.255.250");

    for (int tick = 0; tick < 4; ++tick)
        wsd.Search(TSearchCycle{tick, false});
    wsd.Search(TSearchCycle{4, true});
    // Ticks 0 and 3 and the Find cycle, two Probes each.
    ASSERT_EQ(net.sent.size(), 6u);
    std::set<std::string> ids;
    for (std::size_t i = 0; i < net.sent.size(); ++i) {
        const auto& sent = net.sent[i];
        EXPECT_EQ(sent.socket, "wsd-probe");
        EXPECT_EQ(sent.group, "239.255.255.250");
        EXPECT_EQ(sent.port, 3702);
        const char* type = i % 2 == 0 ? "dn:NetworkVideoTransmitter" : "tds:Device";
        EXPECT_NE(sent.text.find(type), std::string::npos) << sent.text;
        const auto at = sent.text.find("<a:MessageID>urn:uuid:");
        ASSERT_NE(at, std::string::npos);
        ids.insert(sent.text.substr(at, 60));
    }
    EXPECT_EQ(ids.size(), 6u) << "every Probe carries a MessageID of its own";
    wsd.Stop();
}

TEST_F(StandardsProviders, WsdRepeatsTheSameProbesShortlyAfter) {
    TWsdProvider wsd(net, TStandardsPacing{3, 20});
    ASSERT_TRUE(wsd.Start(sink));
    wsd.Search(TSearchCycle{0, false});
    ASSERT_EQ(net.sent.size(), 2u);
    Spin(150);
    ASSERT_EQ(net.sent.size(), 4u);
    EXPECT_EQ(net.sent[2].text, net.sent[0].text);
    EXPECT_EQ(net.sent[3].text, net.sent[1].text);
    // Later cycles are not repeated: they come again every third tick anyway.
    wsd.Search(TSearchCycle{3, false});
    Spin(100);
    EXPECT_EQ(net.sent.size(), 6u);
    wsd.Search(TSearchCycle{6, true});
    wsd.Stop();
    Spin(100);
    EXPECT_EQ(net.sent.size(), 8u) << "no repeat after Stop";
}

TEST_F(StandardsProviders, AProbeMatchIsOneRowKeyedByItsMacScope) {
    TWsdProvider wsd(net, pacing);
    ASSERT_TRUE(wsd.Start(sink));
    ASSERT_TRUE(net.Deliver("wsd-probe", Corpus("fuzz_wsd/onvif_probematch"), "192.168.1.20"));
    ASSERT_EQ(sink.list.RowCount(), 1);
    const TDevInfo* row = Row(sink.list, "00:40:8C:18:36:B2");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->family, kFamilyOnvif);
    EXPECT_EQ(sink.list.Row(0).caption, "ONVIF");
    EXPECT_EQ(row->name, "Front Door");
    EXPECT_EQ(row->ip, "192.168.1.20");
    EXPECT_EQ(row->macKey, "00408C1836B2");
    ASSERT_TRUE(row->standards->onvif);
    EXPECT_EQ(row->standards->onvif->hardware, "D1-566");
    EXPECT_EQ(row->standards->onvif->serial, "SN42");
    EXPECT_FALSE(row->standards->upnp);
    // The same answer again changes nothing.
    net.Deliver("wsd-probe", Corpus("fuzz_wsd/onvif_probematch"), "192.168.1.20");
    EXPECT_EQ(sink.list.RowCount(), 1);
}

TEST_F(StandardsProviders, WithoutAMacScopeTheNeighbourTableThenTheUuidKeysTheRow) {
    TWsdProvider wsd(net, pacing);
    ASSERT_TRUE(wsd.Start(sink));
    const std::string types = "dn:NetworkVideoTransmitter";
    const std::string scopes = "onvif://www.onvif.org/name/Yard";
    net.Deliver("wsd-listen",
                Hello("urn:uuid:AAAA0000-0000-4000-8000-000000000001", types, scopes,
                      "http://10.0.0.7:8080/onvif/device_service"),
                "10.0.0.7");
    const TDevInfo* byUuid = Row(sink.list, "uuid:aaaa0000-0000-4000-8000-000000000001");
    ASSERT_NE(byUuid, nullptr);
    EXPECT_EQ(byUuid->httpPort, 8080);

    // Once the kernel knows the device's MAC the row moves to it: still one row.
    net.neighbours["10.0.0.7"] = "02:5a:00:00:00:07";
    net.Deliver("wsd-listen",
                Hello("urn:uuid:AAAA0000-0000-4000-8000-000000000001", types, scopes,
                      "http://10.0.0.7:8080/onvif/device_service"),
                "10.0.0.7");
    EXPECT_EQ(sink.list.RowCount(), 1);
    EXPECT_NE(Row(sink.list, "02:5A:00:00:00:07"), nullptr);

    // The Bye names only the endpoint; the row goes.
    net.Deliver("wsd-listen", Bye("urn:uuid:aaaa0000-0000-4000-8000-000000000001"), "10.0.0.7");
    EXPECT_EQ(sink.list.RowCount(), 0);
}

TEST_F(StandardsProviders, AComputerAnnouncingItselfIsNotListed) {
    TWsdProvider wsd(net, pacing);
    ASSERT_TRUE(wsd.Start(sink));
    net.Deliver("wsd-listen", Corpus("fuzz_wsd/computer_hello"), "10.0.0.9");
    net.Deliver("wsd-listen",
                Hello("urn:uuid:bbbb0000-0000-4000-8000-000000000001", "wsdp:Device pub:Computer",
                      "", "http://10.0.0.9:5357/x"),
                "10.0.0.9");
    EXPECT_EQ(sink.list.RowCount(), 0);
}

TEST_F(StandardsProviders, AStaleXAddrIsShownAsAMismatch) {
    TWsdProvider wsd(net, pacing);
    ASSERT_TRUE(wsd.Start(sink));
    net.Deliver("wsd-listen",
                Hello("urn:uuid:cccc0000-0000-4000-8000-000000000001", "dn:NetworkVideoTransmitter",
                      "onvif://www.onvif.org/MAC/02:5a:00:00:00:0c",
                      "http://192.168.0.90/onvif/device_service"),
                "10.0.0.12");
    const TDevInfo* row = Row(sink.list, "02:5A:00:00:00:0C");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->ip, "10.0.0.12") << "the address the reply came from";
    ASSERT_TRUE(row->standards->onvif);
    EXPECT_TRUE(XAddrsNameAnotherAddress(*row->standards->onvif, row->ip));
    bool shown = false;
    for (const TStandardsLine& line : StandardsLines(*row))
        shown = shown || (line.labelKey == "IDS_STDMISMATCH" &&
                          line.value == QStringLiteral("192.168.0.90"));
    EXPECT_TRUE(shown);
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(DevInfoToJson(*row)))
                                 .object()[QStringLiteral("standards")]
                                 .toObject()[QStringLiteral("onvif")]
                                 .toObject();
    EXPECT_TRUE(json[QStringLiteral("xaddrMismatch")].toBool());
}

// ---- SSDP/UPnP ------------------------------------------------------------------------------

TEST_F(StandardsProviders, SsdpSearchesAllWithMx1AndFetchesTheDescriptionOnlyFromTheAnswerer) {
    TSsdpProvider ssdp(net, pacing);
    ASSERT_TRUE(ssdp.Start(sink));
    EXPECT_EQ(net.Setup("ssdp-listen")->port, 1900);
    ssdp.Search(TSearchCycle{0, false});
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].socket, "ssdp-search");
    EXPECT_EQ(net.sent[0].port, 1900);
    EXPECT_NE(net.sent[0].text.find("ST: ssdp:all\r\n"), std::string::npos);
    EXPECT_NE(net.sent[0].text.find("MX: 1\r\n"), std::string::npos);

    // The LOCATION names 192.168.1.20; an answer from elsewhere fetches nothing.
    net.Deliver("ssdp-search", Corpus("fuzz_ssdp/answer"), "192.168.1.66");
    EXPECT_TRUE(net.fetches.empty());
    net.Deliver("ssdp-search", Corpus("fuzz_ssdp/answer"), "192.168.1.20");
    ASSERT_EQ(net.fetches.size(), 1u);
    EXPECT_EQ(net.fetches[0].url, "http://192.168.1.20:49152/description.xml");
    net.Deliver("ssdp-search", Corpus("fuzz_ssdp/answer"), "192.168.1.20");
    EXPECT_EQ(net.fetches.size(), 1u) << "fetched once";

    ASSERT_EQ(sink.list.RowCount(), 1);
    EXPECT_EQ(sink.list.Row(0).caption, "UPnP");
    EXPECT_EQ(sink.list.Row(0).record.mac, "uuid:2fac1234-31f8-11b4-a222-08002b34c003");

    const auto fetch = net.fetches[0];
    fetch.done(true, Corpus("fuzz_upnp/description"));
    ASSERT_EQ(sink.list.RowCount(), 1);
    const TDevInfo& row = sink.list.Row(0).record;
    EXPECT_EQ(row.name, "Lobby camera");
    ASSERT_TRUE(row.standards->upnp);
    EXPECT_EQ(row.standards->upnp->manufacturer, "Example Vision");
    EXPECT_EQ(row.standards->upnp->modelName, "EV-D200");
    EXPECT_EQ(row.standards->upnp->server, "Linux/4.9 UPnP/1.1 IPCam/2.0");
    EXPECT_EQ(row.standards->upnp->maxAge, 1800u);
}

TEST_F(StandardsProviders, SsdpByeByeRemovesTheDevice) {
    TSsdpProvider ssdp(net, pacing);
    ASSERT_TRUE(ssdp.Start(sink));
    net.neighbours["192.168.1.20"] = "02:5a:00:00:00:20";
    net.Deliver("ssdp-listen", Corpus("fuzz_ssdp/answer"), "192.168.1.20");
    ASSERT_NE(Row(sink.list, "02:5A:00:00:00:20"), nullptr);
    const std::string byebye =
        "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
        "NT: upnp:rootdevice\r\nNTS: ssdp:byebye\r\n"
        "USN: uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice\r\n\r\n";
    net.Deliver("ssdp-listen", byebye, "192.168.1.20");
    EXPECT_EQ(sink.list.RowCount(), 0);
}

// ---- mDNS -----------------------------------------------------------------------------------

TEST_F(StandardsProviders, MdnsQueriesFromAPortOfItsOwnWithTtl255) {
    TMdnsProvider mdns(net, pacing);
    ASSERT_TRUE(mdns.Start(sink));
    ASSERT_NE(net.Setup("mdns-query"), nullptr);
    EXPECT_NE(net.Setup("mdns-query")->port, 5353);
    EXPECT_EQ(net.Setup("mdns-query")->ttl, 255);
    EXPECT_TRUE(net.Setup("mdns-query")->group.empty()) << "no listening on 5353";
    mdns.Search(TSearchCycle{0, true});
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].group, "224.0.0.251");
    EXPECT_EQ(net.sent[0].port, 5353);
    // Five PTR questions: the enumeration and the four camera types.
    ASSERT_GE(net.sent[0].text.size(), 12u);
    EXPECT_EQ(static_cast<unsigned char>(net.sent[0].text[5]), 5u);
}

TEST_F(StandardsProviders, AnMdnsCameraIsOneRowByItsTxtMac) {
    TMdnsProvider mdns(net, pacing);
    ASSERT_TRUE(mdns.Start(sink));
    ASSERT_TRUE(net.Deliver("mdns-query", Corpus("fuzz_mdns/answer"), "192.168.1.30"));
    ASSERT_EQ(sink.list.RowCount(), 1);
    const TDevInfo& row = sink.list.Row(0).record;
    EXPECT_EQ(row.family, kFamilyMdns);
    EXPECT_EQ(sink.list.Row(0).caption, "mDNS");
    ASSERT_TRUE(row.standards->mdns);
    EXPECT_FALSE(row.standards->mdns->instance.empty());
    EXPECT_EQ(row.name, row.standards->mdns->instance);
}

// ---- one device, one row --------------------------------------------------------------------

TDevInfo Peltra(const std::string& mac, const std::string& ip) {
    TDevInfo d;
    d.family = kFamilyPeltra;
    d.mac = mac;
    d.ip = ip;
    d.name = "peltra";
    d.httpPort = 80;
    return d;
}

TDevInfo Standard(std::int32_t family, const std::string& mac, const std::string& ip,
                  const std::string& name) {
    TDevInfo d;
    d.family = family;
    d.mac = mac;
    d.ip = ip;
    d.name = name;
    TStandardsInfo info;
    if (family == kFamilyOnvif) {
        info.onvif.emplace();
        info.onvif->name = name;
    } else if (family == kFamilyUpnp) {
        info.upnp.emplace();
        info.upnp->friendlyName = name;
    } else {
        info.mdns.emplace();
        info.mdns->instance = name;
    }
    d.standards = TStandardsRef(info);
    return d;
}

TEST(StandardsMerge, AProprietaryRowKeepsItsRecordAndGetsTheFindingsAttached) {
    TDeviceList list;
    list.MergeDevice(Peltra("02-5A-00-00-00-01", "10.0.0.1"));
    list.MergeDevice(Standard(kFamilyOnvif, "02:5A:00:00:00:01", "10.0.0.1", "onvif name"));
    ASSERT_EQ(list.RowCount(), 1);
    const TDevInfo& row = list.Row(0).record;
    EXPECT_EQ(row.family, kFamilyPeltra);
    EXPECT_EQ(row.mac, "02-5A-00-00-00-01");
    EXPECT_EQ(row.name, "peltra");
    ASSERT_TRUE(row.standards->onvif);
    // The next PELTRA reply keeps them.
    list.MergeDevice(Peltra("02-5A-00-00-00-01", "10.0.0.1"));
    ASSERT_TRUE(list.Row(0).record.standards->onvif);
    // A Bye takes the findings, not the row.
    EXPECT_TRUE(list.RemoveStandard("02:5A:00:00:00:01", kFamilyOnvif));
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_TRUE(list.Row(0).record.standards.Empty());
}

TEST(StandardsMerge, AProprietaryReplyTakesOverARowOfStandardsOnly) {
    TDeviceList list;
    list.MergeDevice(Standard(kFamilyOnvif, "02:5A:00:00:00:02", "10.0.0.2", "onvif name"));
    list.MergeDevice(Peltra("02-5a-00-00-00-02", "10.0.0.2"));
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).record.family, kFamilyPeltra);
    EXPECT_EQ(list.Row(0).record.mac, "02-5a-00-00-00-02");
    EXPECT_TRUE(list.Row(0).record.standards->onvif);
    EXPECT_NE(list.FindRowByMac("02-5a-00-00-00-02"), nullptr);
    EXPECT_EQ(list.FindRowByMac("02:5A:00:00:00:02"), nullptr);
}

TEST(StandardsMerge, ProtocolsOfOneDeviceShareARowNamedInOrderOfPreference) {
    TDeviceList list;
    list.MergeDevice(Standard(kFamilyMdns, "02:5A:00:00:00:03", "10.0.0.3", "instance"));
    EXPECT_EQ(list.Row(0).caption, "mDNS");
    list.MergeDevice(Standard(kFamilyUpnp, "02:5A:00:00:00:03", "10.0.0.3", "friendly"));
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).caption, "UPnP");
    EXPECT_EQ(list.Row(0).record.name, "friendly");
    list.MergeDevice(Standard(kFamilyOnvif, "02:5A:00:00:00:03", "10.0.0.3", "onvif"));
    list.MergeDevice(Standard(kFamilyMdns, "02:5A:00:00:00:03", "10.0.0.3", "instance"));
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).caption, "ONVIF");
    EXPECT_EQ(list.Row(0).record.name, "onvif");
    const TStandardsInfo& info = list.Row(0).record.standards.Get();
    EXPECT_TRUE(info.onvif && info.upnp && info.mdns);

    // The ONVIF service leaves; UPnP names the row now; the last one leaving takes the row.
    EXPECT_TRUE(list.RemoveStandard("02:5A:00:00:00:03", kFamilyOnvif));
    EXPECT_EQ(list.Row(0).caption, "UPnP");
    EXPECT_TRUE(list.RemoveStandard("02:5A:00:00:00:03", kFamilyUpnp));
    EXPECT_TRUE(list.RemoveStandard("02:5A:00:00:00:03", kFamilyMdns));
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(StandardsMerge, DevicesWithoutAMacStayApartAndAgeLikeTheOthers) {
    TDeviceList list;
    list.MergeDevice(Standard(kFamilyOnvif, "uuid:1", "10.0.0.4", "a"));
    list.MergeDevice(Standard(kFamilyOnvif, "uuid:2", "10.0.0.4", "b"));
    list.MergeDevice(Peltra("02-5A-00-00-00-04", "10.0.0.4"));
    EXPECT_EQ(list.RowCount(), 3);
    for (int i = 0; i < 10; ++i)
        list.AgePass();
    EXPECT_EQ(list.RowCount(), 0);
}

// ---- apply and JSON -------------------------------------------------------------------------

TEST(StandardsApply, ADeviceOnlyUpnpOrMdnsFoundSaysNotSupportedAndSendsNothing) {
    TDeviceList list;
    TQuietEndpoints endpoints;
    TSearchEngine engine(list, endpoints);
    struct TNoAccount : ICredentialsProvider {
        std::optional<TCredentials> AskCredentials(std::int32_t, const TCredentials&) override {
            ADD_FAILURE() << "no account is asked";
            return std::nullopt;
        }
    } credentials;
    TApplyFlow flow(engine, credentials);
    flow.pause = [](int) {};
    for (const std::int32_t family : {kFamilyUpnp, kFamilyMdns}) {
        const TDevInfo device = Standard(family, "02:5A:00:00:00:05", "10.0.0.5", "cam");
        const TApplyResult result = flow.Apply(device, TEditedValues::FromRecord(device));
        EXPECT_FALSE(result.Applied());
        EXPECT_EQ(result.reason, TNotAppliedReason::kNoCommand);
        EXPECT_EQ(result.message.key, "IDS_STDNOTSUPPORTED");
        EXPECT_TRUE(result.sent.empty());
    }
    // ONVIF devices are changed through the ONVIF client; without one nothing is asked or sent.
    const TDevInfo onvif = Standard(kFamilyOnvif, "02:5A:00:00:00:05", "10.0.0.5", "cam");
    const TApplyResult result = flow.Apply(onvif, TEditedValues::FromRecord(onvif));
    EXPECT_FALSE(result.Applied());
    EXPECT_EQ(result.reason, TNotAppliedReason::kNoHandler);
    EXPECT_FALSE(result.askedCredentials);
    EXPECT_EQ(flow.WhyNoCommand(onvif), "no ONVIF client is available");
}

TEST(StandardsJson, OnlyTheProtocolsThatFoundTheDeviceAreThere) {
    TDevInfo plain = Peltra("02-5A-00-00-00-06", "10.0.0.6");
    EXPECT_EQ(DevInfoToJson(plain).find("\"standards\""), std::string::npos);

    TDevInfo found = Standard(kFamilyUpnp, "02:5A:00:00:00:06", "10.0.0.6", "Caf\xc3\xa9");
    found.standards.Edit().upnp->manufacturer = "bad \xff byte";
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(DevInfoToJson(found)));
    ASSERT_TRUE(doc.isObject());
    const QJsonObject standards = doc.object()[QStringLiteral("standards")].toObject();
    EXPECT_EQ(standards.keys(), QStringList{QStringLiteral("upnp")});
    const QJsonObject upnp = standards[QStringLiteral("upnp")].toObject();
    EXPECT_EQ(upnp[QStringLiteral("friendlyName")].toString(), QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(upnp[QStringLiteral("manufacturer")].toString(), QStringLiteral("bad \ufffd byte"));
}

} // namespace
} // namespace zadari
