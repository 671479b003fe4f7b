// The libcurl transport of the ONVIF client against a loopback HTTP server: the SOAP 1.2
// content type with the action, HTTP Digest only once the device asks for it (never Basic),
// and the failures a camera can cause (refused connection, silence, an endless answer).
#include "access/OnvifClient.h"

#include "FixtureServer.h"

#include <QTcpServer>

#include <gtest/gtest.h>

namespace zadari {
namespace {

using testing::TFixtureServer;

TOnvifHttpRequest Request(const std::string& url, const std::string& user = "",
                          const std::string& password = "") {
    TOnvifHttpRequest request;
    request.url = url;
    request.action = "http://www.onvif.org/ver10/device/wsdl/GetHostname";
    request.body = "<s:Envelope/>";
    request.user = user;
    request.password = password;
    request.timeoutMs = 3000;
    return request;
}

TEST(OnvifTransport, PostsSoapWithTheActionInTheContentType) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    TCurlOnvifTransport transport;
    const TOnvifHttpAnswer answer = transport.Post(Request(server.BaseUrl() + "/onvif/soap"));
    ASSERT_EQ(answer.failure, TOnvifHttpAnswer::TFailure::kNone) << answer.failureText;
    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find("GetHostnameResponse"), std::string::npos);
    const QByteArray sent = server.Request(1);
    EXPECT_TRUE(sent.startsWith("POST /onvif/soap HTTP/1.1\r\n")) << sent.constData();
    EXPECT_TRUE(sent.contains("\r\nContent-Type: application/soap+xml; charset=utf-8; "
                              "action=\"http://www.onvif.org/ver10/device/wsdl/GetHostname\"\r\n"))
        << sent.constData();
    EXPECT_TRUE(sent.endsWith("\r\n\r\n<s:Envelope/>")) << sent.constData();
    EXPECT_FALSE(sent.contains("Authorization"));
}

TEST(OnvifTransport, AnswersADigestChallengeOnceAndNeverSendsBasic) {
    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    TCurlOnvifTransport transport;
    const TOnvifHttpAnswer answer =
        transport.Post(Request(server.BaseUrl() + "/onvif/digest", "admin", "pw"));
    ASSERT_EQ(answer.failure, TOnvifHttpAnswer::TFailure::kNone) << answer.failureText;
    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find("<tt:Name>fixture</tt:Name>"), std::string::npos);
    // The first request went without credentials (libcurl may ask for a fresh challenge once
    // more); the last answered the challenge, without the password in it.
    const int count = server.RequestCount();
    ASSERT_GE(count, 2);
    for (int k = 1; k < count; ++k)
        EXPECT_FALSE(server.Request(k).contains("Authorization")) << k;
    EXPECT_TRUE(server.Request(count).contains("Authorization: Digest username=\"admin\""));
    EXPECT_TRUE(server.Request(count).endsWith("<s:Envelope/>"));
    EXPECT_FALSE(server.Request(count).contains("pw"));

    const TOnvifHttpAnswer wrong =
        transport.Post(Request(server.BaseUrl() + "/onvif/digest", "admin", "nope"));
    EXPECT_EQ(wrong.status, 401);

    const int before = server.RequestCount();
    const TOnvifHttpAnswer basic =
        transport.Post(Request(server.BaseUrl() + "/onvif/basic", "admin", "pw"));
    EXPECT_EQ(basic.status, 401);
    EXPECT_EQ(server.RequestCount(), before + 1); // no second try: Basic would send the password
    EXPECT_FALSE(server.Request(before + 1).contains("Authorization"));
}

TEST(OnvifTransport, FailuresOfTheConnectionAndTheAnswer) {
    // A port nobody listens on: taken and closed again.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const std::string refusedUrl =
        "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/onvif/device_service";
    closed.close();
    TCurlOnvifTransport transport;
    EXPECT_EQ(transport.Post(Request(refusedUrl)).failure, TOnvifHttpAnswer::TFailure::kConnect);

    TFixtureServer server;
    ASSERT_TRUE(server.Running());
    TOnvifHttpRequest silent = Request(server.BaseUrl() + "/silent");
    silent.timeoutMs = 500;
    EXPECT_EQ(transport.Post(silent).failure, TOnvifHttpAnswer::TFailure::kTimeout);
    const TOnvifHttpAnswer big = transport.Post(Request(server.BaseUrl() + "/big"));
    EXPECT_EQ(big.failure, TOnvifHttpAnswer::TFailure::kTooLarge);
    EXPECT_TRUE(big.body.empty());

    // Through the client, each becomes its message.
    TOnvifClient client(transport, refusedUrl);
    EXPECT_EQ(client.GetSystemDateAndTime().messageKey, "IDS_ONVIF_CONNECT");
    client.SetXAddr(server.BaseUrl() + "/big");
    EXPECT_EQ(client.GetSystemDateAndTime().messageKey, "IDS_ONVIF_BADANSWER");
}

} // namespace
} // namespace zadari
