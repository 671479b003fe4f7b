#include "upgrade/UpgradeUpload.h"
#include "access/FixtureServer.h"
#include "access/SR_517.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace zadari {
namespace {

using testing::TFixtureServer;

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.path() + QLatin1Char('/') + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray Image(const char* signature, int size) {
    QByteArray bytes(signature, 4);
    for (int i = 4; i < size; ++i)
        bytes.append(static_cast<char>((i * 13) & 0xFF));
    return bytes;
}

TUpgradeTarget Family2(std::uint16_t port, std::string user = "admin",
                       std::string password = "secret") {
    return {2, "127.0.0.1", port, std::move(user), std::move(password)};
}

QByteArray BoundaryOf(const QByteArray& request) {
    const qsizetype at = request.indexOf("boundary=");
    return at < 0 ? QByteArray() : request.mid(at + 9, request.indexOf("\r\n", at) - at - 9);
}

TEST(UploadQueryAuth, RequestIsExactlyTheFamilyTwoLayout) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QByteArray content = Image("BNEG", 5000);
    const QString path = WriteFile(dir, QStringLiteral("fw.bin"), content);

    EXPECT_EQ(UploadQueryAuth(Family2(server.Port()), TFirmwareKind::SystemFirmware, path),
              TUpgradeResult::Success);
    ASSERT_EQ(server.RequestCount(), 1);
    const QByteArray request = server.Request(1);
    const QByteArray b = BoundaryOf(request);
    ASSERT_EQ(b.size(), 23);
    EXPECT_TRUE(b.startsWith("--------"));
    for (int i = 8; i < 23; ++i)
        EXPECT_TRUE(b[i] >= '0' && b[i] <= '9') << b.data();

    const QByteArray body = "--" + b +
                            "\r\n"
                            "Content-Transfer-Encoding: binary\r\n"
                            "Content-Disposition: form-data; name=\"file\"; filename=\"" +
                            QFile::encodeName(path) +
                            "\"\r\n"
                            "Content-Type: application/octet-stream\r\n"
                            "\r\n" +
                            content + "\r\n--" + b + "--\r\n";
    const QByteArray expected =
        "POST /upgrade_firmware.cgi?user=admin&pwd=secret&next_url=reboot.htm HTTP/1.1\r\n"
        "Content-Type: multipart/form-data; boundary=" +
        b + "\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nHost: 127.0.0.1:" + QByteArray::number(server.Port()) +
        "\r\n"
        "Accept: text/html, */*\r\n"
        "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
        "\r\n" +
        body;
    EXPECT_EQ(request.size(), expected.size());
    EXPECT_EQ(request.left(700).toStdString(), expected.left(700).toStdString());
    EXPECT_TRUE(request == expected);

    const QJsonObject part =
        QJsonDocument::fromJson(testing::ParseStoredMultipart(server.RequestPath(1))).object();
    EXPECT_EQ(part[QStringLiteral("parts")].toInt(), 1);
    EXPECT_EQ(part[QStringLiteral("name")].toString(), QStringLiteral("file"));
    EXPECT_EQ(part[QStringLiteral("filename")].toString(), path);
    EXPECT_EQ(part[QStringLiteral("content_type")].toString(),
              QStringLiteral("application/octet-stream"));
    EXPECT_EQ(part[QStringLiteral("size")].toInt(), content.size());
    EXPECT_EQ(
        part[QStringLiteral("sha256")].toString(),
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
}

TEST(UploadQueryAuth, WebUiTakesItsSignatureAndCgiAndTheAccountUnescaped) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("web.bin"), Image("\xBD\x9A\x0C\x44", 64));
    EXPECT_EQ(UploadQueryAuth(Family2(server.Port(), "ad&min", "p=w"), TFirmwareKind::WebUi, path),
              TUpgradeResult::Success);
    EXPECT_TRUE(server.Request(1).startsWith(
        "POST /upgrade_htmls.cgi?user=ad&min&pwd=p=w&next_url=reboot.htm HTTP/1.1\r\n"));
}

TEST(UploadQueryAuth, FileChecksComeFirstAndSendNothing) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    struct Case {
        QByteArray bytes;
        TFirmwareKind kind;
    };
    const Case cases[] = {
        {Image("BNEF", 100), TFirmwareKind::SystemFirmware},
        {Image("\xBD\x9A\x0C\x44", 100), TFirmwareKind::SystemFirmware},
        {Image("BNEG", 100), TFirmwareKind::WebUi},
        {QByteArray("BNE"), TFirmwareKind::SystemFirmware},
        {QByteArray(), TFirmwareKind::WebUi},
    };
    int k = 0;
    for (const Case& c : cases) {
        const QString path = WriteFile(dir, QStringLiteral("f%1.bin").arg(++k), c.bytes);
        EXPECT_EQ(UploadQueryAuth(Family2(server.Port()), c.kind, path), TUpgradeResult::BadFile)
            << k;
    }
    EXPECT_EQ(UploadQueryAuth(Family2(server.Port()), TFirmwareKind::SystemFirmware,
                              dir.path() + QStringLiteral("/missing.bin")),
              TUpgradeResult::BadFile);
    EXPECT_EQ(UploadQueryAuth(Family2(server.Port()), TFirmwareKind::SystemFirmware, dir.path()),
              TUpgradeResult::BadFile);
    QThread::msleep(50);
    EXPECT_EQ(server.RequestCount(), 0);
}

TEST(UploadQueryAuth, OnlyA2xxWithoutLocationIsSuccess) {
    struct Case {
        const char* answer;
        TUpgradeResult result;
    };
    const Case cases[] = {
        {"200", TUpgradeResult::Success},         {"100-200", TUpgradeResult::Success},
        {"302", TUpgradeResult::Failed},          {"401", TUpgradeResult::Failed},
        {"200-location", TUpgradeResult::Failed},
    };
    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("fw.bin"), Image("BNEG", 300));
    for (const Case& c : cases) {
        TFixtureServer server({QStringLiteral("--answer"), QString::fromLatin1(c.answer)});
        ASSERT_TRUE(server.Running());
        EXPECT_EQ(UploadQueryAuth(Family2(server.Port()), TFirmwareKind::SystemFirmware, path),
                  c.result)
            << c.answer;
        QThread::msleep(50);
        EXPECT_EQ(server.RequestCount(), 1) << c.answer << ": no retry, no redirect followed";
        EXPECT_FALSE(server.Request(1).contains("Authorization"));
    }
}

TEST(UploadQueryAuth, UnreachableCameraFails) {
    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("fw.bin"), Image("BNEG", 300));
    QTcpServer probe; // a port nobody listens on once the probe lets it go
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const auto port = probe.serverPort();
    probe.close();
    EXPECT_EQ(UploadQueryAuth(Family2(port), TFirmwareKind::SystemFirmware, path, {}, 1000),
              TUpgradeResult::Failed);
}

TEST(UploadQueryAuth, PathWithQuoteCrAndLfStaysInsideItsParameter) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir dir;
    const QString path =
        WriteFile(dir, QStringLiteral("x\"; name=\"evil\r\n\r\n.bin"), Image("BNEG", 40));
    EXPECT_EQ(UploadQueryAuth(Family2(server.Port()), TFirmwareKind::SystemFirmware, path),
              TUpgradeResult::Success);
    const QJsonObject part =
        QJsonDocument::fromJson(testing::ParseStoredMultipart(server.RequestPath(1))).object();
    EXPECT_EQ(part[QStringLiteral("name")].toString(), QStringLiteral("file"));
    EXPECT_EQ(part[QStringLiteral("filename")].toString(),
              dir.path() + QStringLiteral("/x%22; name=%22evil%0D%0A%0D%0A.bin"));
    EXPECT_EQ(part[QStringLiteral("size")].toInt(), 40);
}

TEST(QueryAuthRequest, HostHeaderCarriesThePortUnlessItIs80) {
    const TFileUploadRequest at80 =
        QueryAuthRequest({2, "192.168.1.20", 80, "admin", ""}, TFirmwareKind::SystemFirmware,
                         "/fw.bin", 10, "--------120813141523456");
    ASSERT_EQ(at80.headers.size(), 5u);
    EXPECT_EQ(at80.headers[2], "Host: 192.168.1.20");
    const TFileUploadRequest at8080 =
        QueryAuthRequest({2, "192.168.1.20", 8080, "admin", ""}, TFirmwareKind::SystemFirmware,
                         "/fw.bin", 10, "--------120813141523456");
    EXPECT_EQ(at8080.headers[2], "Host: 192.168.1.20:8080");
    EXPECT_EQ(at8080.target, "/upgrade_firmware.cgi?user=admin&pwd=&next_url=reboot.htm");
}

// Records what the upgrade dialog's client path asks of the family-9 client.
class TRecordingClient : public IT517Series {
public:
    void Search(int, TOnDeviceFound) override {}
    bool SetNetParams(const std::string&, const std::string&, const TDevInfo&) override {
        return false;
    }
    bool UpgradeFirmware(const std::string& baseUrl, const std::string& user,
                         const std::string& password, const QString& fileName,
                         const TUploadProgress&) override {
        calls += "firmware " + baseUrl + " " + user + " " + password + " " +
                 fileName.toStdString() + "\n";
        return answer;
    }
    bool UpgradeWebUI(const std::string& baseUrl, const std::string& user,
                      const std::string& password, const QString& fileName,
                      const TUploadProgress&) override {
        calls +=
            "webui " + baseUrl + " " + user + " " + password + " " + fileName.toStdString() + "\n";
        return answer;
    }
    std::string calls;
    bool answer = true;
};

TEST(UploadViaClient, PicksTheClientUploadWithTheBaseUrl) {
    QTemporaryDir dir;
    const QString path = WriteFile(dir, QStringLiteral("any.bin"), QByteArray("ABCD"));
    const std::string p = path.toStdString();
    TRecordingClient client;
    EXPECT_EQ(UploadViaClient(client, {9, "10.0.0.5", 80, "admin", "pw"},
                              TFirmwareKind::SystemFirmware, path),
              TUpgradeResult::Success);
    EXPECT_EQ(UploadViaClient(client, {3, "10.0.0.6", 81, "root", ""}, TFirmwareKind::WebUi, path),
              TUpgradeResult::Success);
    EXPECT_EQ(client.calls, "firmware http://10.0.0.5 admin pw " + p +
                                "\nwebui http://10.0.0.6:81 root  " + p + "\n");

    client.answer = false;
    EXPECT_EQ(RunUpgradeUpload(client, {9, "10.0.0.5", 80, "a", "b"}, TFirmwareKind::WebUi, path),
              TUpgradeResult::Failed);
}

TEST(UploadViaClient, AnyFourBytesWillDoButNotThree) {
    QTemporaryDir dir;
    TRecordingClient client;
    EXPECT_EQ(UploadViaClient(client, {9, "10.0.0.5", 80, "a", ""}, TFirmwareKind::SystemFirmware,
                              WriteFile(dir, QStringLiteral("three.bin"), QByteArray("BNE"))),
              TUpgradeResult::BadFile);
    EXPECT_EQ(
        UploadViaClient(client, {3, "10.0.0.5", 80, "a", ""}, TFirmwareKind::WebUi,
                        WriteFile(dir, QStringLiteral("four.bin"), QByteArray("\0\0\0\0", 4))),
        TUpgradeResult::Success);
    EXPECT_EQ(client.calls.find("three.bin"), std::string::npos);
}

TEST(UpgradeMessages, KeysCaptionsAndTexts) {
    EXPECT_STREQ(UpgradeMessageKey(TUpgradeResult::Success), "IDS_UPGRADESUCC");
    EXPECT_STREQ(UpgradeCaptionKey(TUpgradeResult::Success), "IDS_INFORMATION");
    EXPECT_STREQ(UpgradeMessageEnglish(TUpgradeResult::Success), "Upgrade success!");
    EXPECT_STREQ(UpgradeMessageKey(TUpgradeResult::BadFile), "IDS_ERRFILE");
    EXPECT_STREQ(UpgradeCaptionKey(TUpgradeResult::BadFile), "IDS_ERROR");
    EXPECT_STREQ(UpgradeMessageEnglish(TUpgradeResult::BadFile), "The selected file is incorrect.");
    EXPECT_STREQ(UpgradeMessageKey(TUpgradeResult::Failed), "IDS_UPGRADEFAIL");
    EXPECT_STREQ(UpgradeCaptionKey(TUpgradeResult::Failed), "IDS_ERROR");
    EXPECT_STREQ(UpgradeMessageEnglish(TUpgradeResult::Failed), "Upgrade failed!");
}

} // namespace
} // namespace zadari
