// The UDP endpoints on 127.0.0.1 only: nothing here broadcasts. The "interfaces" a broadcast fans
// out to are loopback addresses handed in by the test.
#include "net/UdpEndpoint.h"
#include "net/SearchEndpoints.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <QVariant>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace zadari {
namespace {

const QHostAddress kLocal(QStringLiteral("127.0.0.1"));

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

/// Lets pending datagrams arrive (for checks that something did NOT happen).
void Settle(int ms = 100) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

int LoopbackIndex() {
    return QNetworkInterface::interfaceIndexFromName(QStringLiteral("lo"));
}

TSendInterface LoopbackAs(const char* destination) {
    TSendInterface entry;
    entry.index = LoopbackIndex();
    entry.name = QStringLiteral("lo");
    entry.local = kLocal;
    entry.destination = QHostAddress(QString::fromLatin1(destination));
    return entry;
}

TUdpEndpoint::TSetup LocalSetup(qint64 buffer = 1024) {
    TUdpEndpoint::TSetup setup;
    setup.name = QStringLiteral("test");
    setup.receiveBuffer = buffer;
    setup.fallbackAddress = kLocal;
    setup.fallbackPort = 0;
    setup.broadcastInterfaces = [] { return std::vector<TSendInterface>{}; };
    setup.multicastInterfaces = [] { return std::vector<TSendInterface>{}; };
    return setup;
}

/// A plain socket that collects what arrives.
struct TCollector {
    QUdpSocket socket;
    std::vector<QNetworkDatagram> got;
    explicit TCollector(const QHostAddress& address = kLocal) {
        EXPECT_TRUE(socket.bind(address, 0));
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] {
            while (socket.hasPendingDatagrams())
                got.push_back(socket.receiveDatagram());
        });
    }
    quint16 Port() const { return socket.localPort(); }
};

TEST(UdpEndpoint, DatagramsLongerThanTheBufferAreDroppedAndCounted) {
    TUdpEndpoint endpoint(LocalSetup(1024));
    ASSERT_TRUE(endpoint.Socket().bind(kLocal, 0));
    std::vector<qsizetype> sizes;
    endpoint.SetHandler([&](TUdpEndpoint&, const TReceivedDatagram& d) {
        sizes.push_back(static_cast<qsizetype>(d.bytes.size()));
    });
    QUdpSocket sender;
    for (const int size : {1024, 1025, 5000, 0, 10, 1023})
        sender.writeDatagram(QByteArray(size, 'x'), kLocal, endpoint.LocalPort());
    ASSERT_TRUE(WaitFor([&] { return endpoint.Received() == 6; }));
    EXPECT_EQ(sizes, (std::vector<qsizetype>{1024, 0, 10, 1023}));
    EXPECT_EQ(endpoint.DroppedTooLong(), 2u);
}

TEST(UdpEndpoint, MulticastReceiverBufferTakes8192Bytes) {
    TUdpEndpoint endpoint(LocalSetup(8192));
    ASSERT_TRUE(endpoint.Socket().bind(kLocal, 0));
    std::vector<qsizetype> sizes;
    endpoint.SetHandler([&](TUdpEndpoint&, const TReceivedDatagram& d) {
        sizes.push_back(static_cast<qsizetype>(d.bytes.size()));
    });
    QUdpSocket sender;
    sender.writeDatagram(QByteArray(8192, 'x'), kLocal, endpoint.LocalPort());
    sender.writeDatagram(QByteArray(8193, 'x'), kLocal, endpoint.LocalPort());
    ASSERT_TRUE(WaitFor([&] { return endpoint.Received() == 2; }));
    EXPECT_EQ(sizes, (std::vector<qsizetype>{8192}));
    EXPECT_EQ(endpoint.DroppedTooLong(), 1u);
}

TEST(UdpEndpoint, ReportsSenderAndArrivalInterface) {
    TUdpEndpoint endpoint(LocalSetup());
    ASSERT_TRUE(endpoint.Socket().bind(kLocal, 0));
    TReceivedDatagram seen;
    std::string bytes;
    endpoint.SetHandler([&](TUdpEndpoint&, const TReceivedDatagram& d) {
        seen = d;
        bytes = std::string(ToTextView(d.bytes));
        seen.bytes = {};
    });
    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(kLocal, 0));
    sender.writeDatagram(QByteArray("IPREPLY"), kLocal, endpoint.LocalPort());
    ASSERT_TRUE(WaitFor([&] { return !bytes.empty(); }));
    EXPECT_EQ(bytes, "IPREPLY");
    EXPECT_EQ(seen.sender, kLocal);
    EXPECT_EQ(seen.senderPort, sender.localPort());
    EXPECT_EQ(seen.interfaceIndex, LoopbackIndex());
}

TEST(UdpEndpoint, AFloodIsHandledInBatchesWithoutLosingQueuedDatagrams) {
    TUdpEndpoint endpoint(LocalSetup());
    ASSERT_TRUE(endpoint.Socket().bind(kLocal, 0));
    endpoint.Socket().setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    int handled = 0;
    endpoint.SetHandler([&](TUdpEndpoint&, const TReceivedDatagram&) { ++handled; });
    QUdpSocket sender;
    for (int i = 0; i < 500; ++i)
        sender.writeDatagram(QByteArray(32, 'a'), kLocal, endpoint.LocalPort());
    ASSERT_TRUE(WaitFor([&] { return handled == 500; }));
    // After the burst the socket still hears the next datagram.
    Settle(50);
    sender.writeDatagram(QByteArray(8, 'b'), kLocal, endpoint.LocalPort());
    ASSERT_TRUE(WaitFor([&] { return handled == 501; }));
}

TEST(UdpEndpoint, AnUnboundEndpointBindsOnItsFirstSendAtTheFallbackAddress) {
    TUdpEndpoint endpoint(LocalSetup());
    EXPECT_FALSE(endpoint.IsBound());
    TCollector collector;
    EXPECT_TRUE(endpoint.SendTo(ToByteView("hello"), "127.0.0.1", collector.Port()));
    ASSERT_TRUE(WaitFor([&] { return collector.got.size() == 1; }));
    EXPECT_TRUE(endpoint.IsBound());
    EXPECT_EQ(collector.got[0].senderPort(), endpoint.LocalPort());
    EXPECT_EQ(collector.got[0].data(), QByteArray("hello"));
}

TEST(UdpEndpoint, AnInvalidAddressIsASendFailure) {
    TUdpEndpoint endpoint(LocalSetup());
    EXPECT_FALSE(endpoint.SendTo(ToByteView("x"), "not an address", 1234));
    EXPECT_FALSE(endpoint.SendTo(ToByteView("x"), "", 1234));
    EXPECT_EQ(endpoint.SendFailures(), 2u);
}

TEST(UdpEndpoint, ABroadcastGoesOutOncePerInterface) {
    TCollector first(kLocal);
    TCollector second(QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_EQ(second.socket.state(), QAbstractSocket::BoundState);
    TUdpEndpoint::TSetup setup = LocalSetup();
    // Both entries are the loopback interface; their destinations stand for two adapters'.
    // The two collectors listen on different ports, so send to each port in turn.
    setup.broadcastInterfaces = [] {
        return std::vector<TSendInterface>{LoopbackAs("127.0.0.1"), LoopbackAs("127.0.0.2")};
    };
    TUdpEndpoint endpoint(setup);
    EXPECT_TRUE(endpoint.SendTo(ToByteView("to first"), kBroadcastAddress, first.Port()));
    EXPECT_TRUE(endpoint.SendTo(ToByteView("to second"), kBroadcastAddress, second.Port()));
    ASSERT_TRUE(WaitFor([&] { return first.got.size() == 1 && second.got.size() == 1; }));
    Settle();
    ASSERT_EQ(first.got.size(), 1u);
    ASSERT_EQ(second.got.size(), 1u);
    EXPECT_EQ(first.got[0].data(), QByteArray("to first"));
    EXPECT_EQ(second.got[0].data(), QByteArray("to second"));
}

TEST(UdpEndpoint, ABroadcastPinnedToAnUnknownInterfaceFallsBackToEveryInterface) {
    TCollector collector;
    TUdpEndpoint::TSetup setup = LocalSetup();
    setup.broadcastInterfaces = [] { return std::vector<TSendInterface>{LoopbackAs("127.0.0.1")}; };
    TUdpEndpoint endpoint(setup);
    EXPECT_TRUE(endpoint.SendBroadcast(ToByteView("x"), collector.Port(), 987654));
    ASSERT_TRUE(WaitFor([&] { return collector.got.size() == 1; }));
}

TEST(UdpEndpoint, ABroadcastWithoutAnyInterfaceFails) {
    TUdpEndpoint endpoint(LocalSetup());
    EXPECT_FALSE(endpoint.SendTo(ToByteView("x"), kBroadcastAddress, 10000));
}

TEST(UdpEndpoint, TheInterfaceListIsAskedForAtMostOncePerSecond) {
    int asked = 0;
    TUdpEndpoint::TSetup setup = LocalSetup();
    setup.broadcastInterfaces = [&asked] {
        ++asked;
        return std::vector<TSendInterface>{LoopbackAs("127.0.0.1")};
    };
    TCollector collector;
    TUdpEndpoint endpoint(setup);
    for (int i = 0; i < 20; ++i)
        endpoint.SendBroadcast(ToByteView("x"), collector.Port());
    EXPECT_EQ(asked, 1);
}

TEST(UdpEndpoint, AnAnswerLeavesFromTheReceivingEndpointThroughItsInterface) {
    TUdpEndpoint endpoint(LocalSetup());
    ASSERT_TRUE(endpoint.Socket().bind(kLocal, 0));
    endpoint.SetHandler([](TUdpEndpoint& self, const TReceivedDatagram& d) {
        TAnswerSender answer(self, d.interfaceIndex);
        answer.SendTo(ToByteView("answer"), d.sender.toString().toStdString(), d.senderPort);
    });
    TCollector asker;
    asker.socket.writeDatagram(QByteArray("ask"), kLocal, endpoint.LocalPort());
    ASSERT_TRUE(WaitFor([&] { return asker.got.size() == 1; }));
    EXPECT_EQ(asker.got[0].data(), QByteArray("answer"));
    EXPECT_EQ(asker.got[0].senderPort(), endpoint.LocalPort());
}

// --- the endpoint set ---

quint16 FreeLocalPort() {
    QUdpSocket probe;
    probe.bind(kLocal, 0);
    return probe.localPort();
}

TSocketEndpoints::TSetup LoopbackEndpointSetup() {
    TSocketEndpoints::TSetup setup;
    setup.bindUdpServer = [](QUdpSocket& socket, int) { return socket.bind(kLocal, 0); };
    setup.fallbackAddress = kLocal;
    setup.fallbackPort = 0;
    // A unicast "group" keeps the multicast pair on loopback.
    setup.multicastGroup = kLocal;
    setup.multicastBindAddress = kLocal;
    setup.multicastPort = FreeLocalPort();
    setup.broadcastInterfaces = [] { return std::vector<TSendInterface>{}; };
    setup.multicastSendInterfaces = [] { return std::vector<TSendInterface>{}; };
    setup.multicastJoinInterfaces = [] { return std::vector<TSendInterface>{}; };
    return setup;
}

TEST(SocketEndpoints, OpenBindsAllFiveAndTheMulticastPair) {
    std::vector<int> firstPorts;
    TSocketEndpoints::TSetup setup = LoopbackEndpointSetup();
    setup.bindUdpServer = [&firstPorts](QUdpSocket& socket, int firstPort) {
        firstPorts.push_back(firstPort);
        return socket.bind(kLocal, 0);
    };
    TSocketEndpoints endpoints(setup);
    EXPECT_TRUE(endpoints.Open([](const TIncomingDatagram&) {}));
    EXPECT_EQ(firstPorts, (std::vector<int>{9999, 10000, 10002, 7999, 6800}));
    for (int n = 1; n <= 5; ++n)
        EXPECT_TRUE(endpoints.UdpEndpoint(n).IsBound()) << n;
    EXPECT_TRUE(endpoints.MulticastReceiver().IsBound());
    EXPECT_TRUE(endpoints.MulticastSenderEndpoint().IsBound());
    EXPECT_EQ(endpoints.MulticastSenderEndpoint()
                  .Socket()
                  .socketOption(QAbstractSocket::MulticastTtlOption)
                  .toInt(),
              2);
    EXPECT_EQ(endpoints.MulticastSenderEndpoint()
                  .Socket()
                  .socketOption(QAbstractSocket::MulticastLoopbackOption)
                  .toInt(),
              1);
    endpoints.Close();
    for (int n = 1; n <= 5; ++n)
        EXPECT_FALSE(endpoints.UdpEndpoint(n).IsBound()) << n;
    EXPECT_FALSE(endpoints.MulticastReceiver().IsBound());
}

TEST(SocketEndpoints, MulticastSetUpFailsWhenTheReceiverCannotBind) {
    TSocketEndpoints::TSetup setup = LoopbackEndpointSetup();
    setup.multicastBindAddress = QHostAddress(QStringLiteral("192.0.2.1")); // not ours
    TSocketEndpoints endpoints(setup);
    EXPECT_FALSE(endpoints.Open([](const TIncomingDatagram&) {}));
    // The UDP endpoints are bound all the same.
    EXPECT_TRUE(endpoints.UdpEndpoint(1).IsBound());
    EXPECT_FALSE(endpoints.MulticastSenderEndpoint().IsBound());
}

TEST(SocketEndpoints, EveryReceivingEndpointDeliversWithItsOwnAnswerPath) {
    TSocketEndpoints endpoints(LoopbackEndpointSetup());
    std::vector<std::string> texts;
    ASSERT_TRUE(endpoints.Open([&](const TIncomingDatagram& d) {
        texts.emplace_back(ToTextView(d.bytes));
        EXPECT_EQ(d.senderIp, "127.0.0.1");
        ASSERT_NE(d.answerVia, nullptr);
        const std::string answer = "re:" + texts.back();
        d.answerVia->SendTo(ToByteView(answer), d.senderIp, d.senderPort);
    }));
    TCollector asker;
    for (int n = 1; n <= 5; ++n)
        asker.socket.writeDatagram(QByteArray::number(n), kLocal,
                                   endpoints.UdpEndpoint(n).LocalPort());
    asker.socket.writeDatagram(QByteArray("m"), kLocal, endpoints.MulticastReceiver().LocalPort());
    ASSERT_TRUE(WaitFor([&] { return asker.got.size() == 6; }));
    std::vector<std::pair<QByteArray, quint16>> answers;
    for (const auto& d : asker.got)
        answers.emplace_back(d.data(), static_cast<quint16>(d.senderPort()));
    for (int n = 1; n <= 5; ++n) {
        const std::pair<QByteArray, quint16> expected{"re:" + QByteArray::number(n),
                                                      endpoints.UdpEndpoint(n).LocalPort()};
        EXPECT_NE(std::find(answers.begin(), answers.end(), expected), answers.end()) << n;
    }
    const std::pair<QByteArray, quint16> fromReceiver{QByteArray("re:m"),
                                                      endpoints.MulticastReceiver().LocalPort()};
    EXPECT_NE(std::find(answers.begin(), answers.end(), fromReceiver), answers.end());
    EXPECT_EQ(endpoints.Received(), 6u);
}

TEST(OnlyInterface, KeepsTheNamedInterfaceOrAllWhenNoneIsNamed) {
    const TInterfaceSource source = [] {
        TSendInterface other = LoopbackAs("127.0.0.2");
        other.name = QStringLiteral("eth1");
        return std::vector<TSendInterface>{LoopbackAs("127.0.0.1"), other};
    };
    auto names = [](const std::vector<TSendInterface>& interfaces) {
        std::vector<std::string> out;
        for (const TSendInterface& entry : interfaces)
            out.push_back(entry.name.toStdString());
        return out;
    };
    using TNames = std::vector<std::string>;
    EXPECT_EQ(names(OnlyInterface(source, QStringLiteral("eth1"))()), TNames{"eth1"});
    EXPECT_EQ(names(OnlyInterface(source, QStringLiteral("eth"))()), TNames{});
    EXPECT_EQ(names(OnlyInterface(source, QString())()), (TNames{"lo", "eth1"}));
}

TEST(SocketEndpoints, LimitedToOneInterfaceTheyBroadcastOnlyThere) {
    TCollector first;
    TCollector second(QHostAddress(QStringLiteral("127.0.0.2")));
    TSocketEndpoints::TSetup setup = LoopbackEndpointSetup();
    // Two "adapters" on loopback: the datagram sent through "eth1" reaches the second collector.
    setup.broadcastInterfaces = [] {
        TSendInterface other = LoopbackAs("127.0.0.2");
        other.name = QStringLiteral("eth1");
        return std::vector<TSendInterface>{LoopbackAs("127.0.0.1"), other};
    };
    setup.onlyInterface = QStringLiteral("eth1");
    TSocketEndpoints endpoints(setup);
    ASSERT_TRUE(endpoints.Open([](const TIncomingDatagram&) {}));
    EXPECT_TRUE(endpoints.Udp(1).SendTo(ToByteView("q"), kBroadcastAddress, first.Port()));
    EXPECT_TRUE(endpoints.Udp(1).SendTo(ToByteView("q"), kBroadcastAddress, second.Port()));
    ASSERT_TRUE(WaitFor([&] { return second.got.size() == 1; }));
    Settle();
    EXPECT_EQ(first.got.size(), 0u);
    EXPECT_EQ(second.got.size(), 1u);
}

TEST(SocketEndpoints, LimitedToOneInterfaceTheyDropWhatArrivesOnAnother) {
    for (const char* only : {"lo", "zadari-none"}) {
        TSocketEndpoints::TSetup setup = LoopbackEndpointSetup();
        setup.onlyInterface = QString::fromLatin1(only);
        TSocketEndpoints endpoints(setup);
        int delivered = 0;
        ASSERT_TRUE(endpoints.Open([&](const TIncomingDatagram&) { ++delivered; }));
        QUdpSocket sender;
        sender.writeDatagram(QByteArray("reply"), kLocal, endpoints.UdpEndpoint(2).LocalPort());
        ASSERT_TRUE(WaitFor([&] { return endpoints.Received() == 1; })) << only;
        Settle(50);
        EXPECT_EQ(delivered, std::string(only) == "lo" ? 1 : 0) << only;
    }
}

TEST(SocketEndpoints, TheMulticastSenderDoesNotRead) {
    TSocketEndpoints endpoints(LoopbackEndpointSetup());
    int delivered = 0;
    ASSERT_TRUE(endpoints.Open([&](const TIncomingDatagram&) { ++delivered; }));
    QUdpSocket sender;
    sender.writeDatagram(QByteArray("x"), kLocal, endpoints.MulticastSenderEndpoint().LocalPort());
    Settle();
    EXPECT_EQ(delivered, 0);
}

} // namespace
} // namespace zadari
