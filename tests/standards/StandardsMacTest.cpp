#include "standards/StandardsMac.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

TEST(StandardsMac, NormalisedFormsAndRefusals) {
    const struct {
        const char* text;
        const char* key;
    } cases[] = {
        {"00:1a:2b:3c:4d:5e", "001A2B3C4D5E"},
        {"00-1A-2B-3C-4D-5E", "001A2B3C4D5E"},
        {"001a.2b3c.4d5e", "001A2B3C4D5E"},
        {"001A2B3C4D5E", "001A2B3C4D5E"},
        {" ACCC8E012345\t", "ACCC8E012345"},
        {"00:1a-2b:3c:4d:5e", ""}, // mixed separators
        {"00:1a:2b:3c:4d", ""},    // five octets
        {"0:1a:2b:3c:4d:5e", ""},  // a short octet
        {"001A2B3C4D5G", ""},
        {"001A2B3C4D5E6F", ""},
        {"00:00:00:00:00:00", ""},
        {"ff:ff:ff:ff:ff:ff", ""},
        {"01:00:5e:00:00:fb", ""}, // a multicast group
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalisedMac(c.text), c.key) << c.text;
}

TEST(StandardsMac, FromEachProtocolsData) {
    TOnvifInfo onvif;
    onvif.mac = "00:40:8c:18:36:b2";
    EXPECT_EQ(MacOfOnvif(onvif), "00408C1836B2");
    onvif.mac = "unknown";
    EXPECT_EQ(MacOfOnvif(onvif), "");

    const struct {
        const char* serial;
        const char* udn;
        const char* key;
    } upnp[] = {
        {"00:1A:2B:3C:4D:5E", "", "001A2B3C4D5E"},
        {"ACCC8E012345", "", "ACCC8E012345"},
        {"123456789012", "", ""}, // twelve decimal digits: a serial number
        {"EV12345678", "uuid:001a2b3c4d5e", "001A2B3C4D5E"},
        // A time-based UUID's node need not be the device's own MAC.
        {"", "uuid:2fac1234-31f8-11b4-a222-08002b34c003", ""},
        {"", "001a2b3c4d5e", ""},
    };
    for (const auto& c : upnp) {
        TUpnpInfo info;
        info.serialNumber = c.serial;
        info.udn = c.udn;
        EXPECT_EQ(MacOfUpnp(info), c.key) << c.serial << " " << c.udn;
    }

    TMdnsInfo mdns;
    mdns.txt = {"path=/", "mac=bogus", "MACAddress=ACCC8E012345"};
    EXPECT_EQ(MacOfMdns(mdns), "ACCC8E012345");
    mdns.txt = {"mac=00:11:22:33:44:55"};
    EXPECT_EQ(MacOfMdns(mdns), "001122334455");
    mdns.txt = {"hwaddr=00:11:22:33:44:55", "macaddress"};
    EXPECT_EQ(MacOfMdns(mdns), "");
}

} // namespace
} // namespace zadari
