// The search engine with recording endpoints: what each cycle sends, through which endpoint, in
// which order; the receive path; start and stop. A last group runs it over real sockets on
// 127.0.0.1 only.
#include "app/SearchEngine.h"
#include "app/DeviceList.h"
#include "net/SearchEndpoints.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zadari {
namespace {

std::string Describe(TByteView bytes) {
    bool printable = true;
    for (const std::uint8_t b : bytes)
        printable = printable && (std::isprint(b) || b == '\r' || b == '\n');
    if (printable) {
        std::string text;
        for (const std::uint8_t b : bytes)
            text += b == '\r'   ? std::string("\\r")
                    : b == '\n' ? std::string("\\n")
                                : std::string(1, char(b));
        return "\"" + text + "\"";
    }
    std::string hex;
    char digits[3];
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        hex += digits;
    }
    return hex + "/" + std::to_string(bytes.size());
}

/// Everything the fakes saw, in one order.
using TLog = std::vector<std::string>;

class TFakeSender : public TDatagramSender {
public:
    TFakeSender(std::string name, TLog& log) : name_(std::move(name)), log_(log) {}
    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override {
        log_.push_back(name_ + " " + address + ":" + std::to_string(port) + " " + Describe(bytes));
        if (throwing)
            throw std::runtime_error("socket error");
        return !failing;
    }
    void Pause(int milliseconds) override {
        log_.push_back(name_ + " pause " + std::to_string(milliseconds));
    }
    bool failing = false;
    bool throwing = false;

private:
    std::string name_;
    TLog& log_;
};

class TFakeEndpoints : public TSearchEndpoints {
public:
    explicit TFakeEndpoints(TLog& log)
        : log_(log), udp_{TFakeSender("udp1", log), TFakeSender("udp2", log),
                          TFakeSender("udp3", log), TFakeSender("udp4", log),
                          TFakeSender("udp5", log)},
          multicast_("mcast", log) {}
    bool Open(TReceiveHandler handler) override {
        log_.push_back("open");
        handler_ = std::move(handler);
        return multicastOpens;
    }
    void Close() override {
        log_.push_back("close");
        handler_ = nullptr;
    }
    TDatagramSender& Udp(int n) override { return udp_[n - 1]; }
    TDatagramSender& MulticastSender() override { return multicast_; }
    TFakeSender& Fake(int n) { return udp_[n - 1]; }

    /// Feeds one datagram to the receive path as if endpoint `n` had received it.
    void Receive(std::string_view bytes, const std::string& from, std::uint16_t port, int n = 1,
                 int interfaceIndex = 0) {
        ASSERT_TRUE(handler_);
        TIncomingDatagram datagram;
        datagram.interfaceIndex = interfaceIndex;
        datagram.bytes = ToByteView(bytes);
        datagram.senderIp = from;
        datagram.senderPort = port;
        datagram.answerVia = &udp_[n - 1];
        handler_(datagram);
    }
    bool multicastOpens = true;

private:
    TLog& log_;
    TFakeSender udp_[5];
    TFakeSender multicast_;
    TReceiveHandler handler_;
};

const std::string kClientId = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

/// A provider that notes what the engine asks of it; `search` may stand in for its search.
class TLoggingProvider : public IDiscoveryProvider {
public:
    TLoggingProvider(TLog& log, std::string name) : log_(log), name_(std::move(name)) {}
    const char* Name() const override { return name_.c_str(); }
    bool Start(IDeviceSink& sink) override {
        sink_ = &sink;
        return true;
    }
    void Stop() override {
        if (!stopLine.empty())
            log_.push_back(stopLine);
    }
    bool Search(const TSearchCycle& cycle) override {
        if (search)
            search(cycle);
        return true;
    }
    std::function<void(const TSearchCycle&)> search;
    std::string stopLine;
    IDeviceSink* sink_ = nullptr;

private:
    TLog& log_;
    std::string name_;
};

struct SearchEngineTest : ::testing::Test {
    TLog log;
    TFakeEndpoints endpoints{log};
    TDeviceList list;
    TLoggingProvider family9{log, "family9"};
    TLoggingProvider sdk{log, "sdk"};
    std::unique_ptr<TSearchEngine> engine;

    void SetUp() override {
        TSearchEngine::TSetup setup;
        setup.clientId = kClientId;
        engine = std::make_unique<TSearchEngine>(list, endpoints, setup);
        family9.search = [this](const TSearchCycle&) {
            log.push_back("family9 " + std::to_string(engine->Targets().family9Port));
        };
        sdk.search = [this](const TSearchCycle& cycle) {
            if (cycle.find)
                log.push_back("sdk");
        };
        sdk.stopLine = "sdk shutdown";
        engine->AddProvider(family9, 3);
        engine->AddProvider(sdk, 10);
    }
    void Started() {
        engine->Start();
        engine->StopTimer(); // the tests tick by hand
        log.clear();
    }
    bool Logged(const std::string& entry) const {
        return std::find(log.begin(), log.end(), entry) != log.end();
    }
};

const std::string kHdsSearch = "\"SEARCH * HDS/1.0\\r\\nCSeq:1\\r\\nClient-ID:" + kClientId +
                               "\\r\\nAccept-Type:text/HDP\\r\\nContent-Length:0\\r\\n\\r\\n\"";

TEST_F(SearchEngineTest, ACycleWithTheSdkSearchSendsTheTenStepsInOrder) {
    Started();
    engine->RunSearchCycle(0, true);
    const TLog expected = {
        "udp1 255.255.255.255:10000 \"PELTRAQUERY,0\"",
        "udp1 255.255.255.255:10000 \"ZORIXQUERY,0\"",
        "udp1 255.255.255.255:10000 \"IPQUERY\"",
        "udp1 pause 1",
        "udp1 255.255.255.255:10000 \"ZORIXNETQUERY,0\"",
        "family9 8600",
        "udp1 255.255.255.255:4000 4B54333532100600/256",
        "udp2 255.255.255.255:10000 4D4F5F4900000000/27",
        "udp3 255.255.255.255:10139 \"uicam query\"",
        "udp4 255.255.255.255:7999 \"SEARCH * CTP/1.0\\r\\nFrom:0.0.0.0\\r\\n\\r\\n\"",
        "udp5 255.255.255.255:6801 1010010F00000000/8",
        "mcast 239.255.255.250:8002 " + kHdsSearch,
        "sdk",
    };
    EXPECT_EQ(log, expected);
}

TEST_F(SearchEngineTest, PeltraAndZorixQueriesGoOutOnEveryThirdTickOnly) {
    Started();
    for (int tick = 0; tick <= 6; ++tick) {
        log.clear();
        engine->Tick();
        const bool third = tick % 3 == 0;
        EXPECT_EQ(Logged("udp1 255.255.255.255:10000 \"PELTRAQUERY,0\""), third) << tick;
        EXPECT_EQ(Logged("udp1 255.255.255.255:10000 \"ZORIXQUERY,0\""), third) << tick;
        EXPECT_TRUE(Logged("udp1 255.255.255.255:10000 \"IPQUERY\"")) << tick;
        EXPECT_TRUE(Logged("udp1 255.255.255.255:10000 \"ZORIXNETQUERY,0\"")) << tick;
        EXPECT_FALSE(Logged("sdk")) << tick;
    }
    EXPECT_EQ(engine->TickCounter(), 7);
}

TEST_F(SearchEngineTest, ARowRemembersTheAdapterItsReplyCameIn) {
    Started();
    endpoints.Receive("PELTRAREPLY,x,00:11:22:33:44:55,10.0.0.5,80,255.255.255.0,10.0.0.1,cam1,"
                      ",,,0,1,2,3,0,0,1,,",
                      "10.0.0.5", 10000, 1, 7);
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).record.seenOnInterface, 7);
}

TEST_F(SearchEngineTest, FindClearsTheListAndSearchesWithTheSdkWithoutResettingTheTicks) {
    Started();
    engine->Tick();
    engine->Tick();
    endpoints.Receive("PELTRAREPLY,x,00:11:22:33:44:55,10.0.0.5,80,255.255.255.0,10.0.0.1,cam1,"
                      ",,,0,1,2,3,0,0,1,,",
                      "10.0.0.5", 10000);
    ASSERT_EQ(list.RowCount(), 1);
    log.clear();
    engine->Find();
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_TRUE(Logged("udp1 255.255.255.255:10000 \"PELTRAQUERY,0\"")); // tick 0 of Find
    EXPECT_EQ(log.back(), "sdk");
    EXPECT_EQ(engine->TickCounter(), 2);
}

TEST_F(SearchEngineTest, TheFirstCycleIsTickZeroWithoutTheSdk) {
    Started();
    engine->RunFirstCycle();
    EXPECT_TRUE(Logged("udp1 255.255.255.255:10000 \"PELTRAQUERY,0\""));
    EXPECT_FALSE(Logged("sdk"));
    EXPECT_EQ(engine->TickCounter(), 0);
}

TEST_F(SearchEngineTest, AFailedSendAbandonsTheRestOfItsStepOnly) {
    Started();
    endpoints.Fake(1).failing = true;
    engine->RunSearchCycle(0, false);
    // Step 1 stops after its first send, step 2 likewise; step 4 is still tried.
    EXPECT_TRUE(Logged("udp1 255.255.255.255:10000 \"PELTRAQUERY,0\""));
    EXPECT_FALSE(Logged("udp1 255.255.255.255:10000 \"ZORIXQUERY,0\""));
    EXPECT_TRUE(Logged("udp1 255.255.255.255:10000 \"IPQUERY\""));
    EXPECT_FALSE(Logged("udp1 255.255.255.255:10000 \"ZORIXNETQUERY,0\""));
    EXPECT_TRUE(Logged("udp1 255.255.255.255:4000 4B54333532100600/256"));
    EXPECT_TRUE(Logged("mcast 239.255.255.250:8002 " + kHdsSearch));
}

TEST_F(SearchEngineTest, AnErrorRaisedInOneStepDoesNotStopTheCycle) {
    Started();
    endpoints.Fake(2).throwing = true;
    family9.search = [](const TSearchCycle&) { throw std::runtime_error("family-9 socket"); };
    engine->RunSearchCycle(1, true);
    EXPECT_TRUE(Logged("udp2 255.255.255.255:10000 4D4F5F4900000000/27"));
    EXPECT_TRUE(Logged("udp3 255.255.255.255:10139 \"uicam query\""));
    EXPECT_TRUE(Logged("udp5 255.255.255.255:6801 1010010F00000000/8"));
    EXPECT_EQ(log.back(), "sdk");
    EXPECT_GE(engine->Stats().stepFailures, 1u);
}

TEST_F(SearchEngineTest, IpReplyIsEchoedToItsSenderFromTheReceivingEndpoint) {
    Started();
    endpoints.Receive("IPREPLY", "10.1.2.3", 10000, 2);
    EXPECT_EQ(log, (TLog{"udp2 10.1.2.3:10000 \"IPREPLY10.1.2.3\""}));
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(engine->Stats().ipEchoes, 1u);
}

TEST_F(SearchEngineTest, OnlyTheExactSevenBytesAreAnEchoRequest) {
    Started();
    endpoints.Receive("IPREPLYX", "10.1.2.3", 10000);
    endpoints.Receive(std::string_view("IPREPLY\0", 8), "10.1.2.3", 10000);
    endpoints.Receive("IPREPLY ", "10.1.2.3", 10000);
    endpoints.Receive("IPREPL", "10.1.2.3", 10000);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_TRUE(engine->Stats().matchedPerFamily.empty());
}

const char* const kPeltraReply = "PELTRAREPLY,x,00:11:22:33:44:55,10.0.0.5,80,255.255.255.0,"
                                 "10.0.0.1,cam1,,,,0,1,2,3,0,0,1,,";

TEST_F(SearchEngineTest, AnAcceptedReplyIsMergedAndAnnouncedOnce) {
    Started();
    int announced = 0;
    QObject::connect(engine.get(), &TSearchEngine::RowAdded, engine.get(), [&] { ++announced; });
    endpoints.Receive(kPeltraReply, "10.0.0.5", 10000);
    endpoints.Receive(kPeltraReply, "10.0.0.5", 10000);
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).record.family, kFamilyPeltra);
    EXPECT_EQ(list.Row(0).record.mac, "00:11:22:33:44:55");
    EXPECT_EQ(list.Row(0).record.age, 10);
    EXPECT_EQ(announced, 1);
    const TSearchStats stats = engine->Stats();
    EXPECT_EQ(stats.matchedPerFamily.at(kFamilyPeltra), 2u);
    EXPECT_EQ(stats.merged, 2u);
    EXPECT_EQ(stats.rowsAdded, 1u);
    EXPECT_EQ(stats.handled, 2u);
}

TEST_F(SearchEngineTest, DatagramsMatchingNoMagicChangeNothing) {
    Started();
    for (const std::string_view junk :
         {std::string_view("REPL"), std::string_view("\x10\x10", 2), std::string_view(""),
          std::string_view("PELTRAREPLYX,1,2"), std::string_view("\xff\xfe garbage")}) {
        endpoints.Receive(junk, "10.0.0.9", 4000);
    }
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(SearchEngineTest, OurOwnHdsSearchLoopedBackIsIgnored) {
    Started();
    const std::string search = "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:" + kClientId +
                               "\r\nAccept-Type:text/HDP\r\nContent-Length:0\r\n\r\n";
    endpoints.Receive(search, "10.0.0.1", 40000);
    EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(SearchEngineTest, AFamily8FirstAnswerIsAnsweredThroughTheReceivingEndpoint) {
    Started();
    std::string first(140, '\0');
    first[0] = '\x10';
    first[1] = '\x10';
    first[2] = '\x01';
    first[3] = '\x8F';
    endpoints.Receive(first, "10.0.0.8", 6801, 5);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("udp5 255.255.255.255:6801 1010120F", 0), 0u) << log[0];
    EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(SearchEngineTest, ADeviceThatStopsAnsweringGoesOnTheTenthTick) {
    Started();
    endpoints.Receive(kPeltraReply, "10.0.0.5", 10000);
    for (int tick = 1; tick <= 9; ++tick) {
        engine->Tick();
        ASSERT_EQ(list.RowCount(), 1) << tick;
    }
    engine->Tick();
    EXPECT_EQ(list.RowCount(), 0);
}

TEST_F(SearchEngineTest, OtherDiscoveryPathsMergeThroughTheEngine) {
    Started();
    int announced = 0;
    QObject::connect(engine.get(), &TSearchEngine::RowAdded, engine.get(), [&] { ++announced; });
    engine->RunSearchCycle(1, false);
    ASSERT_NE(family9.sink_, nullptr);
    TDevInfo record;
    record.family = kFamilyDh;
    record.mac = "AA-BB-CC-DD-EE-FF";
    record.ip = "10.0.0.7";
    family9.sink_->MergeFound(record);
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(announced, 1);
    TDevInfo nothing; // family -1 adds nothing
    engine->MergeFound(nothing);
    EXPECT_EQ(list.RowCount(), 1);
}

TEST_F(SearchEngineTest, StartOpensTheEndpointsAndStartsTheTimer) {
    EXPECT_TRUE(engine->Start());
    EXPECT_EQ(log, (TLog{"open"}));
    EXPECT_TRUE(engine->TimerActive());
    EXPECT_EQ(engine->TickCounter(), 0);
}

TEST_F(SearchEngineTest, StartReportsAMulticastFailureAndStillRuns) {
    endpoints.multicastOpens = false;
    EXPECT_FALSE(engine->Start());
    EXPECT_TRUE(engine->TimerActive());
}

TEST_F(SearchEngineTest, StopClosesTheSocketsThenFreesTheSdkThenClearsTheList) {
    Started();
    endpoints.Receive(kPeltraReply, "10.0.0.5", 10000);
    ASSERT_EQ(list.RowCount(), 1);
    engine->Stop();
    EXPECT_EQ(log, (TLog{"close", "sdk shutdown"}));
    EXPECT_FALSE(engine->TimerActive());
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(ClientId, IsAnUpperCaseGuidWithoutBracesAndNewPerRun) {
    const QRegularExpression form(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const std::string a = NewClientId();
    const std::string b = NewClientId();
    EXPECT_TRUE(form.match(QString::fromStdString(a)).hasMatch()) << a;
    EXPECT_EQ(a.size(), 36u);
    EXPECT_NE(a, b);

    TLog log;
    TFakeEndpoints endpoints(log);
    TDeviceList list;
    TSearchEngine engine(list, endpoints);
    EXPECT_TRUE(form.match(QString::fromStdString(engine.ClientId())).hasMatch());
}

// --- over real sockets, 127.0.0.1 only ---

const QHostAddress kLocal(QStringLiteral("127.0.0.1"));

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(SearchEngineOnLoopback, ACameraAnswersAndIsListedAndItsEchoIsAnswered) {
    // The "camera": one socket that gets every query of the cycle.
    QUdpSocket camera;
    ASSERT_TRUE(camera.bind(kLocal, 0));
    std::vector<QNetworkDatagram> got;
    QObject::connect(&camera, &QUdpSocket::readyRead, &camera, [&] {
        while (camera.hasPendingDatagrams()) {
            QNetworkDatagram d = camera.receiveDatagram();
            if (d.data() == "PELTRAQUERY,0")
                camera.writeDatagram(QByteArray(kPeltraReply), d.senderAddress(),
                                     static_cast<quint16>(d.senderPort()));
            if (d.data() == "IPQUERY")
                camera.writeDatagram(QByteArray("IPREPLY"), d.senderAddress(),
                                     static_cast<quint16>(d.senderPort()));
            got.push_back(std::move(d));
        }
    });
    const quint16 port = camera.localPort();

    TSocketEndpoints::TSetup sockets;
    sockets.bindUdpServer = [](QUdpSocket& socket, int) { return socket.bind(kLocal, 0); };
    sockets.fallbackAddress = kLocal;
    sockets.fallbackPort = 0;
    sockets.multicastGroup = kLocal;
    sockets.multicastBindAddress = kLocal;
    sockets.multicastPort = 0;
    const int lo = QNetworkInterface::interfaceIndexFromName(QStringLiteral("lo"));
    sockets.broadcastInterfaces = [lo] {
        TSendInterface entry;
        entry.index = lo;
        entry.local = kLocal;
        entry.destination = kLocal;
        return std::vector<TSendInterface>{entry};
    };
    sockets.multicastSendInterfaces = [] { return std::vector<TSendInterface>{}; };
    sockets.multicastJoinInterfaces = [] { return std::vector<TSendInterface>{}; };
    TSocketEndpoints endpoints(sockets);

    TSearchEngine::TSetup setup;
    setup.targets.commaTextPort = port;
    setup.targets.kt352Port = port;
    setup.targets.moiPort = port;
    setup.targets.uicamPort = port;
    setup.targets.ctpPort = port;
    setup.targets.bin6801Port = port;
    setup.targets.multicastGroup = "127.0.0.1";
    setup.targets.multicastPort = port;
    TDeviceList list;
    TSearchEngine engine(list, endpoints, setup);
    engine.Start();
    engine.StopTimer();
    engine.RunFirstCycle();

    ASSERT_TRUE(WaitFor([&] { return list.RowCount() == 1 && engine.Stats().ipEchoes == 1; }));
    EXPECT_EQ(list.Row(0).record.name, "cam1");
    // Every query of the cycle arrived, each from its own endpoint.
    ASSERT_TRUE(WaitFor([&] { return got.size() >= 10; }));
    auto portOf = [&](int n) { return endpoints.UdpEndpoint(n).LocalPort(); };
    auto has = [&](const QByteArray& prefix, quint16 sender) {
        return std::any_of(got.begin(), got.end(), [&](const QNetworkDatagram& d) {
            return d.data().startsWith(prefix) && d.senderPort() == sender;
        });
    };
    EXPECT_TRUE(has("PELTRAQUERY,0", portOf(1)));
    EXPECT_TRUE(has("KT352", portOf(1)));
    EXPECT_TRUE(has("MO_I", portOf(2)));
    EXPECT_TRUE(has("uicam query", portOf(3)));
    EXPECT_TRUE(has("SEARCH * CTP/1.0", portOf(4)));
    EXPECT_TRUE(has(QByteArray("\x10\x10\x01\x0f", 4), portOf(5)));
    EXPECT_TRUE(has("SEARCH * HDS/1.0", endpoints.MulticastSenderEndpoint().LocalPort()));
    // The echo answer came back to the camera from endpoint 1.
    ASSERT_TRUE(WaitFor([&] {
        return std::any_of(got.begin(), got.end(), [](const QNetworkDatagram& d) {
            return d.data() == "IPREPLY127.0.0.1";
        });
    }));
    engine.Stop();
    EXPECT_EQ(list.RowCount(), 0);
}

} // namespace
} // namespace zadari
