// The family-9 client against fake devices on 127.0.0.1 (unicast only) and the local HTTP
// fixture.
#include "access/FixtureServer.h"
#include "access/SR_517.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zadari {
namespace {

using testing::TFixtureServer;

std::uint16_t FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

TT517Setup LoopbackSetup() {
    TT517Setup setup;
    setup.routes = [] { return std::vector<TDhRoute>{{QHostAddress::LocalHost, 0}}; };
    setup.bindAddress = QHostAddress::LocalHost;
    setup.searchLocalPort = FreeUdpPort();
    setup.settingsLocalPort = 0;
    setup.statusTimeoutMs = 3000;
    setup.uploadTimeoutMs = 5000;
    return setup;
}

void RunEventsUntil(const std::function<bool()>& done, int limitMs = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

QByteArray Reply(const char* ip, std::uint8_t lastMacByte, const char* name) {
    QByteArray d(516, '\0');
    const char header[] = {0x44, 0x48, 0x01, 0x08};
    d.replace(0, 4, QByteArray(header, 4));
    d.replace(4, static_cast<qsizetype>(std::strlen(ip)), ip);
    const char mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, static_cast<char>(lastMacByte)};
    d.replace(84, 6, QByteArray(mac, 6));
    d.replace(124, static_cast<qsizetype>(std::strlen(name)), name);
    return d;
}

// A device port on 127.0.0.1 that answers every search request with the given replies.
class TFakeSearchDevices {
public:
    explicit TFakeSearchDevices(std::vector<QByteArray> replies) : replies_(std::move(replies)) {
        socket_.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram request = socket_.receiveDatagram();
                if (request.data() != QByteArray("DH\x01\x01", 4))
                    continue;
                ++requests_;
                for (const QByteArray& reply : replies_)
                    socket_.writeDatagram(reply, request.senderAddress(),
                                          static_cast<quint16>(request.senderPort()));
            }
        });
    }
    int Port() const { return socket_.localPort(); }
    int Requests() const { return requests_; }

private:
    QUdpSocket socket_;
    std::vector<QByteArray> replies_;
    int requests_ = 0;
};

TEST(T517Search, TwoDevicesReachTheCallbackInArrivalOrderOnTheMainThread) {
    TFakeSearchDevices devices({Reply("10.0.0.7", 0x01, "first"), Reply("10.0.0.8", 0x02, "second"),
                                QByteArray("not a reply")});
    TT517Series client(LoopbackSetup());
    std::vector<TDevInfo> found;
    bool onMainThread = true;
    bool finished = false;
    QObject::connect(&client, &TT517Series::SearchFinished, &client, [&] { finished = true; });
    QElapsedTimer clock;
    clock.start();
    client.Search(devices.Port(), [&](const TDevInfo& record) {
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
        found.push_back(record);
    });
    EXPECT_TRUE(client.Searching());
    RunEventsUntil([&] { return finished; });
    EXPECT_TRUE(finished);
    EXPECT_FALSE(client.Searching());
    // Ten quiet periods of 30 ms, give or take the scheduler.
    EXPECT_GE(clock.elapsed(), 250);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(found[0].name, "first");
    EXPECT_EQ(found[0].mac, "00:1A:2B:3C:4D:01");
    EXPECT_EQ(found[0].family, 9);
    EXPECT_EQ(found[1].name, "second");
    EXPECT_EQ(found[1].ip, "10.0.0.8");
}

TEST(T517Search, ASearchWhileTheListenerHoldsThePortSendsNothing) {
    TFakeSearchDevices devices({Reply("10.0.0.7", 0x01, "only")});
    TT517Series client(LoopbackSetup());
    int calls = 0;
    bool finished = false;
    QObject::connect(&client, &TT517Series::SearchFinished, &client, [&] { finished = true; });
    client.Search(devices.Port(), [&](const TDevInfo&) { ++calls; });
    client.Search(devices.Port(), [&](const TDevInfo&) { calls += 100; });
    RunEventsUntil([&] { return finished; });
    EXPECT_EQ(devices.Requests(), 1);
    EXPECT_EQ(calls, 1);

    // Once the port is free again the next search works normally.
    finished = false;
    client.Search(devices.Port(), [&](const TDevInfo&) { calls += 10; });
    RunEventsUntil([&] { return finished; });
    EXPECT_EQ(devices.Requests(), 2);
    EXPECT_EQ(calls, 11);
}

TEST(T517Search, PortHeldElsewhereMeansNoSearch) {
    TT517Setup setup = LoopbackSetup();
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::LocalHost, setup.searchLocalPort));
    TFakeSearchDevices devices({Reply("10.0.0.7", 0x01, "x")});
    TT517Series client(setup);
    client.Search(devices.Port(), [](const TDevInfo&) {});
    EXPECT_FALSE(client.Searching());
    RunEventsUntil([] { return false; }, 100);
    EXPECT_EQ(devices.Requests(), 0);
}

TEST(T517Search, StopSearchEndsTheListenerAtOnce) {
    TT517Series client(LoopbackSetup());
    client.Search(9, [](const TDevInfo&) {});
    ASSERT_TRUE(client.Searching());
    client.StopSearch();
    EXPECT_FALSE(client.Searching());
}

// A device on a plain socket in a thread of its own, since SetNetParams waits on the caller's
// thread. It answers the first settings request with `answers` (none: silence).
class TFakeSettingsDevice {
public:
    explicit TFakeSettingsDevice(std::vector<QByteArray> answers, int delayMs = 0, int gapMs = 0)
        : answers_(std::move(answers)), delayMs_(delayMs), gapMs_(gapMs) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        timeval tv{2, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TFakeSettingsDevice() {
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t Port() const { return port_; }
    QByteArray Request() {
        thread_.join();
        thread_ = std::thread([] {});
        return request_;
    }

private:
    void Serve() {
        char buffer[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0)
            return;
        request_ = QByteArray(buffer, n);
        if (delayMs_ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
        for (const QByteArray& answer : answers_) {
            ::sendto(fd_, answer.constData(), static_cast<size_t>(answer.size()), 0,
                     reinterpret_cast<sockaddr*>(&from), len);
            if (gapMs_ > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs_));
        }
    }

    std::vector<QByteArray> answers_;
    int delayMs_;
    int gapMs_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    QByteArray request_;
};

QByteArray Ack(std::uint8_t low, std::uint8_t high) {
    QByteArray d(328, '\0');
    const char header[] = {0x44, 0x48, 0x02, 0x08};
    d.replace(0, 4, QByteArray(header, 4));
    d[324] = static_cast<char>(low);
    d[325] = static_cast<char>(high);
    return d;
}

TDevInfo Settings() {
    TDevInfo s;
    s.family = 9;
    s.ip = "10.0.0.50";
    s.mask = "255.255.255.0";
    s.gateway = "10.0.0.1";
    s.macKey = "001A2B3C4D01";
    s.name = "cam";
    s.httpPort = 80;
    s.ipMode = 2;
    return s;
}

TT517Setup SettingsSetup(std::uint16_t devicePort) {
    TT517Setup setup = LoopbackSetup();
    setup.settingsPort = devicePort;
    return setup;
}

TEST(T517SetNetParams, AcknowledgementStatusDecides) {
    struct Case {
        std::vector<QByteArray> answers;
        bool accepted;
    };
    const Case cases[] = {
        {{Ack(0x00, 0x80)}, true},
        {{Ack(0x01, 0x00)}, false},
        {{Ack(0x00, 0x00)}, false},
        // Unrelated datagrams first (our own request echoed among them): still waiting.
        {{QByteArray("DH\x02\x01", 4), QByteArray("noise"), Ack(0x00, 0x80)}, true},
        {{}, false},
    };
    for (const Case& c : cases) {
        TFakeSettingsDevice device(c.answers);
        TT517Series client(SettingsSetup(device.Port()));
        EXPECT_EQ(client.SetNetParams("admin", "pw", Settings()), c.accepted);
        const QByteArray request = device.Request();
        ASSERT_EQ(request.size(), 324);
        EXPECT_EQ(request.left(4), QByteArray("DH\x02\x01", 4));
        EXPECT_EQ(request.mid(84, 6), QByteArray("\x00\x1A\x2B\x3C\x4D\x01", 6));
        EXPECT_EQ(request.mid(236, 6), QByteArray("admin\0", 6));
    }
}

TEST(T517SetNetParams, AnAcknowledgementAfterTheQuietPeriodIsAFailure) {
    TFakeSettingsDevice device({Ack(0x00, 0x80)}, 200);
    TT517Series client(SettingsSetup(device.Port()));
    EXPECT_FALSE(client.SetNetParams("admin", "pw", Settings()));
}

TEST(T517SetNetParams, EndlessUnrelatedTrafficIsBounded) {
    // A datagram every 10 ms for 1.5 s: each one restarts the 30-ms quiet period.
    std::vector<QByteArray> noise(150, QByteArray("chatter"));
    TFakeSettingsDevice device(noise, 0, 10);
    TT517Setup setup = SettingsSetup(device.Port());
    setup.ackWaitLimitMs = 100;
    TT517Series client(setup);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client.SetNetParams("admin", "pw", Settings()));
    EXPECT_GE(clock.elapsed(), 90);
    EXPECT_LT(clock.elapsed(), 1000);
}

QString WriteFirmware(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.path() + QLatin1Char('/') + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray SomeBytes(int n) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF); // CR, LF, NUL and high bytes
    return bytes;
}

QJsonObject PartOf(const TFixtureServer& server, int k) {
    return QJsonDocument::fromJson(testing::ParseStoredMultipart(server.RequestPath(k))).object();
}

QByteArray HeaderBlock(const QByteArray& request) {
    return request.left(request.indexOf("\r\n\r\n") + 4);
}

TEST(T517Upload, WebUiPostIsAMultipartTheEmailParserReadsBack) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QByteArray content = SomeBytes(70000);
    const QString file = WriteFirmware(dir, QStringLiteral("web.bin"), content);
    TT517Series client(LoopbackSetup());
    std::int64_t lastSent = -1, lastTotal = -1;
    EXPECT_TRUE(client.UpgradeWebUI(server.BaseUrl(), "admin", "p&w", file,
                                    [&](std::int64_t sent, std::int64_t total) {
                                        lastSent = sent;
                                        lastTotal = total;
                                        return true;
                                    }));
    ASSERT_EQ(server.RequestCount(), 1);
    const QByteArray request = server.Request(1);
    const QByteArray head = HeaderBlock(request);
    EXPECT_TRUE(head.startsWith("POST /upgrade_htmls.cgi?loginuse=admin&loginpas=p&w HTTP/1.1\r\n"))
        << head.data();
    EXPECT_TRUE(head.contains("\r\nHost: 127.0.0.1:" + QByteArray::number(server.Port()) + "\r\n"));
    EXPECT_TRUE(head.contains("\r\nAccept: image/gif, image/jpeg, image/pjpeg, image/pjpeg, "
                              "application/x-shockwave-flash, */*\r\n"));
    EXPECT_TRUE(head.contains("\r\nAccept-Encoding: gzip,deflate\r\n"));
    EXPECT_TRUE(head.contains("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"));
    EXPECT_FALSE(head.contains("Authorization"));
    EXPECT_FALSE(head.contains("Expect"));
    const qsizetype at = head.indexOf("boundary=--------");
    ASSERT_GE(at, 0);
    const QByteArray boundary = head.mid(at + 9, 23);
    for (int i = 8; i < 23; ++i)
        EXPECT_TRUE(boundary[i] >= '0' && boundary[i] <= '9') << boundary.data();
    const QByteArray body = request.mid(head.size());
    EXPECT_TRUE(head.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    EXPECT_TRUE(body.endsWith("\r\n--" + boundary + "--\r\n"));
    EXPECT_EQ(lastSent, body.size());
    EXPECT_EQ(lastTotal, body.size());

    const QJsonObject part = PartOf(server, 1);
    EXPECT_EQ(part[QStringLiteral("parts")].toInt(), 1);
    EXPECT_EQ(part[QStringLiteral("name")].toString(), QStringLiteral("file"));
    EXPECT_EQ(part[QStringLiteral("filename")].toString(), file);
    EXPECT_EQ(part[QStringLiteral("content_type")].toString(),
              QStringLiteral("application/x-zip-compressed"));
    EXPECT_EQ(part[QStringLiteral("transfer_encoding")].toString(), QStringLiteral("binary"));
    EXPECT_EQ(part[QStringLiteral("size")].toInt(), content.size());
    EXPECT_EQ(
        part[QStringLiteral("sha256")].toString(),
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
}

TEST(T517Upload, QuoteCrAndLfInThePathCannotBreakThePartHead) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QString file =
        WriteFirmware(dir, QStringLiteral("a\"b\r\nContent-Type: x\r\n.bin"), SomeBytes(100));
    TT517Series client(LoopbackSetup());
    EXPECT_TRUE(client.UpgradeWebUI(server.BaseUrl(), "admin", "", file));
    const QJsonObject part = PartOf(server, 1);
    EXPECT_EQ(part[QStringLiteral("filename")].toString(),
              dir.path() + QStringLiteral("/a%22b%0D%0AContent-Type: x%0D%0A.bin"));
    EXPECT_EQ(part[QStringLiteral("content_type")].toString(),
              QStringLiteral("application/x-zip-compressed"));
    EXPECT_EQ(part[QStringLiteral("size")].toInt(), 100);
}

TEST(T517Upload, OnlyA2xxAnswerIsSuccessAndNoCredentialsAreEverSent) {
    struct Case {
        const char* answer;
        bool success;
    };
    for (const Case c :
         {Case{"200", true}, Case{"100-200", true}, Case{"302", false}, Case{"401", false}}) {
        TFixtureServer server({QStringLiteral("--answer"), QString::fromLatin1(c.answer)});
        ASSERT_TRUE(server.Running());
        QTemporaryDir dir;
        const QString file = WriteFirmware(dir, QStringLiteral("fw.bin"), SomeBytes(10));
        TT517Series client(LoopbackSetup());
        EXPECT_EQ(client.UpgradeWebUI(server.BaseUrl(), "admin", "pw", file), c.success)
            << c.answer;
        QThread::msleep(50);
        EXPECT_EQ(server.RequestCount(), 1) << c.answer;
        EXPECT_FALSE(server.Request(1).contains("Authorization")) << c.answer;
    }
}

TEST(T517Upload, MissingFileOrUnreachableDeviceIsAFailure) {
    TT517Series client(LoopbackSetup());
    EXPECT_FALSE(client.UploadFile("http://127.0.0.1:9/x", QStringLiteral("/nonexistent/fw.bin")));
    QTemporaryDir dir;
    const QString file = WriteFirmware(dir, QStringLiteral("fw.bin"), SomeBytes(10));
    QUdpSocket probe; // a TCP port nobody listens on is as good as any
    EXPECT_FALSE(
        client.UploadFile("http://127.0.0.1:" + std::to_string(FreeUdpPort()) + "/x", file));
    EXPECT_FALSE(client.UploadFile("ftp://127.0.0.1/x", file));
}

TEST(T517Upgrade, OlderFirmwareTakesItsUploadOnTheWebPort) {
    TFixtureServer server({QStringLiteral("--sys-ver"), QStringLiteral("84.2.0.120")});
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QString file = WriteFirmware(dir, QStringLiteral("fw.bin"), SomeBytes(1000));
    TT517Series client(LoopbackSetup());
    EXPECT_TRUE(client.UpgradeFirmware(server.BaseUrl(), "admin", "pw", file));
    ASSERT_EQ(server.RequestCount(), 2);
    EXPECT_TRUE(server.Request(1).startsWith("GET /get_Status.cgi?user=admin&pwd=pw HTTP/1.1\r\n"));
    EXPECT_FALSE(server.Request(1).contains("Authorization"));
    EXPECT_TRUE(server.Request(2).startsWith(
        "POST /upgrade_firmware.cgi?loginuse=admin&loginpas=pw HTTP/1.1\r\n"));
}

TEST(T517Upgrade, NewerFirmwareTakesItsUploadOnPort8600) {
    // The fixture is not on 8600, so the upload never reaches it: only the status query does.
    TFixtureServer server({QStringLiteral("--sys-ver"), QStringLiteral("84.2.0.121")});
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QString file = WriteFirmware(dir, QStringLiteral("fw.bin"), SomeBytes(1000));
    TT517Setup setup = LoopbackSetup();
    setup.uploadTimeoutMs = 1000;
    TT517Series client(setup);
    client.UpgradeFirmware(server.BaseUrl(), "admin", "pw", file);
    QThread::msleep(50);
    EXPECT_EQ(server.RequestCount(), 1);
}

} // namespace
} // namespace zadari
