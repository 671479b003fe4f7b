// Vector: the device description template of the UPnP Device Architecture 1.1, filled in with a
// camera's values and one embedded device.
#include "standards/UpnpDescription.h"

#include <gtest/gtest.h>

#include <string>

namespace zadari {
namespace {

const std::string kLocation = "http://192.168.1.20:49152/description.xml";

std::string Description(const std::string& urlBase, const std::string& presentation) {
    return R"(<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0" configId="1">
<specVersion>
<major>1</major>
<minor>1</minor>
</specVersion>
)" + urlBase +
           R"(
<device>
<deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>
<friendlyName>Lobby camera</friendlyName>
<manufacturer>Example Vision</manufacturer>
<manufacturerURL>http://www.example.com</manufacturerURL>
<modelDescription>Fixed dome network camera</modelDescription>
<modelName>EV-D200</modelName>
<modelNumber>D200-2</modelNumber>
<modelURL>http://www.example.com/d200</modelURL>
<serialNumber>EV12345678</serialNumber>
<UDN>uuid:2fac1234-31f8-11b4-a222-08002b34c003</UDN>
<UPC>012345678905</UPC>
<iconList>
<icon><mimetype>image/png</mimetype><width>48</width><height>48</height><depth>24</depth><url>/icon.png</url></icon>
</iconList>
<serviceList>
<service>
<serviceType>urn:schemas-upnp-org:service:Dummy:1</serviceType>
<serviceId>urn:upnp-org:serviceId:Dummy1</serviceId>
<SCPDURL>/scpd.xml</SCPDURL>
<controlURL>/control</controlURL>
<eventSubURL>/event</eventSubURL>
</service>
</serviceList>
<deviceList>
<device>
<deviceType>urn:schemas-upnp-org:device:Embedded:1</deviceType>
<friendlyName>Embedded part</friendlyName>
<UDN>uuid:ffffffff-0000-0000-0000-000000000000</UDN>
<presentationURL>/embedded.html</presentationURL>
</device>
</deviceList>
)" + presentation +
           R"(
</device>
</root>)";
}

TEST(UpnpDescription, RootDeviceFieldsAndNotTheEmbeddedOnes) {
    TUpnpInfo info;
    info.usn = "uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice";
    info.friendlyName = "stale";
    ASSERT_TRUE(ParseUpnpDescription(
        Description("", "<presentationURL>/index.html</presentationURL>"), kLocation, info));
    EXPECT_EQ(info.usn, "uuid:2fac1234-31f8-11b4-a222-08002b34c003::upnp:rootdevice");
    EXPECT_EQ(info.deviceType, "urn:schemas-upnp-org:device:Basic:1");
    EXPECT_EQ(info.friendlyName, "Lobby camera");
    EXPECT_EQ(info.manufacturer, "Example Vision");
    EXPECT_EQ(info.modelName, "EV-D200");
    EXPECT_EQ(info.modelNumber, "D200-2");
    EXPECT_EQ(info.serialNumber, "EV12345678");
    EXPECT_EQ(info.udn, "uuid:2fac1234-31f8-11b4-a222-08002b34c003");
    EXPECT_EQ(info.presentationUrl, "http://192.168.1.20:49152/index.html");
}

TEST(UpnpDescription, PresentationUrlResolution) {
    const struct {
        std::string urlBase;
        std::string presentation;
        const char* expected;
    } cases[] = {
        {"", "<presentationURL>/index.html</presentationURL>",
         "http://192.168.1.20:49152/index.html"},
        {"", "<presentationURL>setup/</presentationURL>", "http://192.168.1.20:49152/setup/"},
        {"<URLBase>http://192.168.1.20/</URLBase>", "<presentationURL>index.html</presentationURL>",
         "http://192.168.1.20/index.html"},
        {"<URLBase>ftp://192.168.1.20/</URLBase>", "<presentationURL>/x</presentationURL>",
         "http://192.168.1.20:49152/x"},
        {"", "<presentationURL>http://192.168.1.21/</presentationURL>", "http://192.168.1.21/"},
        {"", "<presentationURL>javascript:alert(1)</presentationURL>", ""},
        {"", "<presentationURL>file:///etc/passwd</presentationURL>", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        TUpnpInfo info;
        ASSERT_TRUE(ParseUpnpDescription(Description(c.urlBase, c.presentation), kLocation, info));
        EXPECT_EQ(info.presentationUrl, c.expected) << c.urlBase << c.presentation;
    }
}

TEST(UpnpDescription, ForeignOrHostileDocumentsAreDropped) {
    const std::string good = Description("", "");
    std::string laughs = good;
    laughs.replace(0, laughs.find("<root"),
                   "<!DOCTYPE root [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>");
    laughs.replace(laughs.find("Lobby camera"), 12, "&b;");
    std::string big = good;
    big.insert(big.find("<device>"), "<!--" + std::string(kUpnpDescriptionMax, 'x') + "-->");
    std::string noDevice = good;
    noDevice.replace(noDevice.find("<device>"), 8, "<other>");
    noDevice.replace(noDevice.rfind("</device>"), 9, "</other>");
    const std::string cases[] = {
        laughs,
        big,
        noDevice,
        good.substr(0, good.size() / 2),
        "<root xmlns=\"urn:example:other\"><device><friendlyName>x</friendlyName></device></root>",
        "<html><body>Not found</body></html>",
        "",
    };
    int i = 0;
    for (const auto& text : cases) {
        TUpnpInfo info;
        info.friendlyName = "kept";
        EXPECT_FALSE(ParseUpnpDescription(text, kLocation, info)) << "case " << i;
        EXPECT_EQ(info.friendlyName, "kept") << "case " << i;
        ++i;
    }
}

TEST(UpnpDescription, HostOfHttpUrls) {
    EXPECT_EQ(HttpUrlHost("http://192.168.1.20:49152/description.xml"), "192.168.1.20");
    EXPECT_EQ(HttpUrlHost("https://Cam.Local/d.xml"), "cam.local");
    EXPECT_EQ(HttpUrlHost("http://user@10.0.0.1/"), "10.0.0.1");
    EXPECT_EQ(HttpUrlHost("http://[fe80::1]:80/"), "fe80::1");
    EXPECT_EQ(HttpUrlHost("ftp://10.0.0.1/"), "");
    EXPECT_EQ(HttpUrlHost("/description.xml"), "");
    EXPECT_EQ(HttpUrlHost(""), "");
}

} // namespace
} // namespace zadari
