// Vectors: the message layouts of the UPnP Device Architecture 1.1 (search request, search
// response, ssdp:alive, ssdp:byebye, ssdp:update), filled in with a camera's values.
#include "standards/Ssdp.h"

#include <gtest/gtest.h>

#include <string>

namespace zadari {
namespace {

const std::string kAnswer = "HTTP/1.1 200 OK\r\n"
                            "CACHE-CONTROL: max-age = 1800\r\n"
                            "DATE: Sat, 01 Jan 2022 00:00:00 GMT\r\n"
                            "EXT:\r\n"
                            "LOCATION: http://192.168.1.20:49152/description.xml\r\n"
                            "SERVER: Linux/4.9 UPnP/1.1 IPCam/2.0\r\n"
                            "ST: upnp:rootdevice\r\n"
                            "USN: uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice\r\n"
                            "BOOTID.UPNP.ORG: 1\r\n"
                            "CONFIGID.UPNP.ORG: 1\r\n"
                            "\r\n";

TEST(Ssdp, SearchRequestIsTheDeviceArchitectureForm) {
    EXPECT_EQ(BuildSsdpSearch(), "M-SEARCH * HTTP/1.1\r\n"
                                 "HOST: 239.255.255.250:1900\r\n"
                                 "MAN: \"ssdp:discover\"\r\n"
                                 "MX: 1\r\n"
                                 "ST: ssdp:all\r\n"
                                 "\r\n");
}

TEST(Ssdp, SearchAnswerGivesTheHeaders) {
    TSsdpMessage message;
    ASSERT_TRUE(ParseSsdpMessage(kAnswer, message));
    EXPECT_EQ(message.kind, TSsdpKind::SearchAnswer);
    EXPECT_EQ(message.info.location, "http://192.168.1.20:49152/description.xml");
    EXPECT_EQ(message.info.server, "Linux/4.9 UPnP/1.1 IPCam/2.0");
    EXPECT_EQ(message.info.st, "upnp:rootdevice");
    EXPECT_EQ(message.info.usn, "uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice");
    EXPECT_EQ(message.info.maxAge, 1800u);
    EXPECT_TRUE(message.info.friendlyName.empty());
}

TEST(Ssdp, NotifyKindsAndHeadersOfAnyCase) {
    const struct {
        std::string text;
        TSsdpKind kind;
        const char* location;
    } cases[] = {
        {"NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=120\r\n"
         "LOCATION: http://10.0.0.7/desc.xml\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\n"
         "SERVER: OS/1 UPnP/1.1 cam/1\r\nUSN: uuid:abc::upnp:rootdevice\r\n\r\n",
         TSsdpKind::Alive, "http://10.0.0.7/desc.xml"},
        // Lower-case names, bare LF line ends, no blank line at the end.
        {"notify * HTTP/1.1\nhost: 239.255.255.250:1900\nnt: upnp:rootdevice\n"
         "nts: ssdp:byebye\nusn: uuid:abc::upnp:rootdevice",
         TSsdpKind::ByeBye, ""},
        {"NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nLOCATION: http://10.0.0.7/d.xml\r\n"
         "NT: upnp:rootdevice\r\nNTS: ssdp:update\r\nUSN: uuid:abc::upnp:rootdevice\r\n"
         "NEXTBOOTID.UPNP.ORG: 2\r\n\r\n",
         TSsdpKind::Update, "http://10.0.0.7/d.xml"},
    };
    for (const auto& c : cases) {
        TSsdpMessage message;
        ASSERT_TRUE(ParseSsdpMessage(c.text, message)) << c.text;
        EXPECT_EQ(message.kind, c.kind);
        EXPECT_EQ(message.info.st, "upnp:rootdevice"); // the NT
        EXPECT_EQ(message.info.usn, "uuid:abc::upnp:rootdevice");
        EXPECT_EQ(message.info.location, c.location);
    }
}

TEST(Ssdp, OtherOrBrokenMessagesAreDropped) {
    std::string nul = kAnswer;
    nul[30] = '\0';
    std::string noUsn = kAnswer;
    noUsn.erase(noUsn.find("USN:"), noUsn.find("BOOTID") - noUsn.find("USN:"));
    std::string noLocation = kAnswer;
    noLocation.erase(noLocation.find("LOCATION:"),
                     noLocation.find("SERVER:") - noLocation.find("LOCATION:"));
    std::string endless = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 70; ++i)
        endless += "X-FILL: 1\r\n";
    endless += "LOCATION: http://a/\r\nUSN: uuid:x\r\n\r\n";
    const std::string cases[] = {
        BuildSsdpSearch(), // another control point's search
        "HTTP/1.1 404 Not Found\r\nLOCATION: http://a/\r\nUSN: uuid:x\r\n\r\n",
        "HTTP/1.1 2000 OK\r\nLOCATION: http://a/\r\nUSN: uuid:x\r\n\r\n",
        "NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\nUSN: uuid:x\r\n\r\n",
        "NOTIFY * HTTP/1.1\r\nNT: a\r\nNTS: ssdp:propchange\r\nUSN: uuid:x\r\n\r\n",
        nul,
        noUsn,
        noLocation,
        endless,
        kAnswer + std::string(60 * 1024, ' '),
        "",
        "\r\n\r\n",
    };
    int i = 0;
    for (const auto& text : cases) {
        TSsdpMessage message;
        EXPECT_FALSE(ParseSsdpMessage(text, message)) << "case " << i;
        EXPECT_TRUE(message.info.usn.empty()) << "case " << i;
        ++i;
    }
}

TEST(Ssdp, MaxAgeOfCacheControl) {
    const struct {
        const char* text;
        std::uint32_t age;
    } cases[] = {
        {"max-age=1800", 1800},
        {"max-age = 1800", 1800},
        {"MAX-AGE=60, no-cache", 60},
        {"no-cache, max-age=5", 5},
        {"max-age=\"90\"", 90},
        {"max-age=", 0},
        {"max-age=12x", 0},
        {"s-maxage=3", 0},
        {"", 0},
        {"max-age=99999999999999", 0xFFFFFFFFu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SsdpMaxAge(c.text), c.age) << c.text;
}

} // namespace
} // namespace zadari
