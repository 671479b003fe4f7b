#include "protocols/Hds.h"

#include "RecordingSender.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

constexpr const char* kClient = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

TEST(HdsSearch, CarriesTheClientIdAndGoesToTheGroup) {
    TRecordingSender sender;
    EXPECT_TRUE(SendHdsSearch(sender, kClient));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].Text(),
              "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:6F9619FF-8B86-D011-B42D-00C04FC964FF\r\n"
              "Accept-Type:text/HDP\r\nContent-Length:0\r\n\r\n");
    EXPECT_EQ(sender.Attempts()[0].address, "239.255.255.250");
    EXPECT_EQ(sender.Attempts()[0].port, 8002);

    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_TRUE(SendHdsSearch(throwing, kClient));
}

TEST(ParseHdsReply, FillsEveryKeyOfTheTable) {
    const std::string reply = "HDS/1.0 200 OK\r\n"
                              "Device-ID=HD0001\r\n"
                              "Device-Name=Gate\r\n"
                              "IP=10.1.2.3\r\n"
                              "MASK=255.255.0.0\r\n"
                              "Http-Port=81\r\n"
                              "Fdns=1.1.1.1\r\n"
                              "Sdns=9.9.9.9\r\n"
                              "MAC=00-11-22-aa-bb-cc\r\n"
                              "Dhcp=0\r\n"
                              "Ddns=1\r\n"
                              "Gateway=10.1.0.1\r\n"
                              "DDNS-Enable=y\r\n"
                              "DDNS-User=ann\r\n"
                              "DDNS-Passwd=pw\r\n"
                              "DDNS-Host=dyn.example:8245\r\n"
                              "DDNS-Port=30000\r\n"
                              "Software-Version=1.0.7\r\n";
    TDevInfo r;
    ASSERT_TRUE(ParseHdsReply(reply, r));
    EXPECT_EQ(r.family, 6);
    EXPECT_EQ(r.deviceId, "HD0001");
    EXPECT_EQ(r.name, "Gate");
    EXPECT_EQ(r.ip, "10.1.2.3");
    EXPECT_EQ(r.mask, "255.255.0.0");
    EXPECT_EQ(r.httpPort, 81);
    EXPECT_EQ(r.dns1, "1.1.1.1");
    EXPECT_EQ(r.dns2, "9.9.9.9");
    EXPECT_EQ(r.mac, "00-11-22-aa-bb-cc");
    EXPECT_EQ(r.macKey, "001122AABBCC");
    EXPECT_EQ(r.ipMode, 2);
    EXPECT_EQ(r.dnsAuto, 1);
    EXPECT_EQ(r.gateway, "10.1.0.1");
    EXPECT_EQ(r.ddnsEnabled, 1);
    EXPECT_EQ(r.ddnsUser, "ann");
    EXPECT_EQ(r.ddnsPassword, "pw");
    EXPECT_EQ(r.ddnsHost, "dyn.example:8245");
    EXPECT_EQ(r.ddnsPort, 30000);
    EXPECT_EQ(r.version, "1.0.7");
}

TEST(ParseHdsReply, DhcpLineDecidesTheMode) {
    struct Case {
        const char* reply;
        int ipMode;
    };
    const Case cases[] = {
        {"HDS/1.0 200 OK\r\nIP=1.2.3.4\r\n", 0}, // no line: stays as cleared (PPPoE)
        {"HDS/1.0 200 OK\r\nDhcp=0\r\n", 2},     {"HDS/1.0 200 OK\r\nDhcp=1\r\n", 1},
        {"HDS/1.0 200 OK\r\nDhcp=\r\n", 1},      {"HDS/1.0 200 OK\r\nDhcp=off", 1},
    };
    for (const auto& c : cases) {
        TDevInfo r;
        ASSERT_TRUE(ParseHdsReply(c.reply, r)) << c.reply;
        EXPECT_EQ(r.ipMode, c.ipMode) << c.reply;
    }
}

TEST(ParseHdsReply, FlagsAreSetOnlyByTheirExactValues) {
    struct Case {
        const char* line;
        int dnsAuto;
        int ddnsEnabled;
    };
    const Case cases[] = {
        {"Ddns=1\r\nDDNS-Enable=y", 1, 1},
        {"Ddns=11\r\nDDNS-Enable=Y", 0, 0},
        {"Ddns=0\r\nDDNS-Enable=yes", 0, 0},
        {"Ddns=\r\nDDNS-Enable=", 0, 0},
    };
    for (const auto& c : cases) {
        TDevInfo r;
        ASSERT_TRUE(ParseHdsReply(std::string("HDS/1.0 200 OK\r\n") + c.line, r));
        EXPECT_EQ(r.dnsAuto, c.dnsAuto) << c.line;
        EXPECT_EQ(r.ddnsEnabled, c.ddnsEnabled) << c.line;
    }
}

TEST(ParseHdsReply, NumberDefaultsOnlyWhenTheLineIsPresent) {
    TDevInfo none;
    ASSERT_TRUE(ParseHdsReply("HDS/1.0 200 OK\r\n", none));
    EXPECT_EQ(none.httpPort, 0);
    EXPECT_EQ(none.ddnsPort, 0);

    TDevInfo bad;
    ASSERT_TRUE(ParseHdsReply("HDS/1.0 200 OK\r\nHttp-Port=x\r\nDDNS-Port=8O8\r\n", bad));
    EXPECT_EQ(bad.httpPort, 80);
    EXPECT_EQ(bad.ddnsPort, 808);

    TDevInfo signedPort;
    ASSERT_TRUE(
        ParseHdsReply("HDS/1.0 200 OK\r\nHttp-Port= +8000\r\nDDNS-Port=-1\r\n", signedPort));
    EXPECT_EQ(signedPort.httpPort, 8000);
    EXPECT_EQ(signedPort.ddnsPort, -1);
}

TEST(ParseHdsReply, KeysAreCaseSensitive) {
    TDevInfo r;
    ASSERT_TRUE(ParseHdsReply("HDS/1.0 200 OK\r\nip=10.0.0.1\r\nmac=00\r\n", r));
    EXPECT_EQ(r.ip, "");
    EXPECT_EQ(r.mac, "");
}

TEST(ParseHdsReply, RejectsOtherTexts) {
    TDevInfo r;
    EXPECT_FALSE(ParseHdsReply("HDS/1.0 200 O", r));
    EXPECT_FALSE(ParseHdsReply("SEARCH * HDS/1.0\r\nCSeq:1\r\n", r)); // our own search, looped
    EXPECT_FALSE(ParseHdsReply("HDS/1.0 404 Not Found\r\nIP=1.2.3.4\r\n", r));
    EXPECT_EQ(r, TDevInfo{});
}

TDevInfo ListedHds() {
    TDevInfo r;
    r.family = 6;
    r.deviceId = "HD0001";
    r.name = "Gate";
    r.ip = "10.1.2.3";
    r.mask = "255.255.0.0";
    r.gateway = "10.1.0.1";
    r.dns1 = "1.1.1.1";
    r.dns2 = "9.9.9.9";
    r.mac = "00-11-22-aa-bb-cc";
    r.httpPort = 80;
    r.ipMode = 2;
    r.ddnsPort = 808;
    return r;
}

std::string Request(const std::string& line) {
    return "CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:6F9619FF-8B86-D011-B42D-00C04FC964FF\r\n"
           "Accept-Type:text/HDP\r\nAuthorization:Basic admin:1234\r\nDevice-ID:HD0001\r\n"
           "Content-Length:" +
           std::to_string(line.size()) + "\r\n\r\n" + line + "\r\n\r\n";
}

TEST(SetHdsNetwork, NameOnlySendsExactlyOneDnameset) {
    TDevInfo edited = ListedHds();
    edited.name = "Back gate";
    TRecordingSender sender;
    EXPECT_TRUE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, sender));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].Text(), Request("dnameset set -name Back gate"));
    EXPECT_EQ(sender.Attempts()[0].address, "239.255.255.250");
    EXPECT_EQ(sender.Attempts()[0].port, 8002);
}

TEST(SetHdsNetwork, PortOnlySendsExactlyOneHttpport) {
    TDevInfo edited = ListedHds();
    edited.httpPort = 8080;
    TRecordingSender sender;
    EXPECT_TRUE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, sender));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].Text(), Request("httpport set -httpport 8080"));
}

TEST(SetHdsNetwork, AddressAndNameSendNetconfThenDnameset) {
    TDevInfo edited = ListedHds();
    edited.ip = "10.1.2.50";
    edited.ipMode = 1;
    edited.name = "Gate 2";
    TRecordingSender sender;
    EXPECT_TRUE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, sender));
    ASSERT_EQ(sender.Attempts().size(), 2u);
    EXPECT_EQ(sender.Attempts()[0].Text(),
              Request("netconf set -ipaddr 10.1.2.50 -netmask 255.255.0.0 -gateway 10.1.0.1 "
                      "-dhcp on -fdnsip 1.1.1.1 -sdnsip 9.9.9.9 -dnsstat 0 "
                      "-hwaddr 00-11-22-aa-bb-cc"));
    EXPECT_EQ(sender.Attempts()[1].Text(), Request("dnameset set -name Gate 2"));
}

TEST(SetHdsNetwork, EveryGroupInOrder) {
    TDevInfo edited = ListedHds();
    edited.dnsAuto = 1;
    edited.name = "N";
    edited.ddnsEnabled = 1;
    edited.ddnsUser = "u";
    edited.ddnsPassword = "p";
    edited.ddnsHost = "h";
    edited.httpPort = 81;
    TRecordingSender sender;
    EXPECT_TRUE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, sender));
    ASSERT_EQ(sender.Attempts().size(), 4u);
    EXPECT_EQ(sender.Attempts()[0].Text(),
              Request("netconf set -ipaddr 10.1.2.3 -netmask 255.255.0.0 -gateway 10.1.0.1 "
                      "-dhcp off -fdnsip 1.1.1.1 -sdnsip 9.9.9.9 -dnsstat 1 "
                      "-hwaddr 00-11-22-aa-bb-cc"));
    EXPECT_EQ(sender.Attempts()[1].Text(), Request("dnameset set -name N"));
    EXPECT_EQ(sender.Attempts()[2].Text(),
              Request("ddnsset set -fenable on -fport 808 -fuser u -fpasswd p -fhost h"));
    EXPECT_EQ(sender.Attempts()[3].Text(), Request("httpport set -httpport 81"));
}

TEST(SetHdsNetwork, ComparisonIsExact) {
    TDevInfo edited = ListedHds();
    edited.name = "GATE"; // a case-only change is a change here
    EXPECT_EQ(HdsSetCommandLines(ListedHds(), edited),
              (std::vector<std::string>{"dnameset set -name GATE"}));
    EXPECT_TRUE(HdsSetCommandLines(ListedHds(), ListedHds()).empty());
}

TEST(SetHdsNetwork, NothingChangedSendsNothing) {
    TRecordingSender sender;
    EXPECT_TRUE(SetHdsNetwork(ListedHds(), ListedHds(), "admin", "1234", kClient, sender));
    EXPECT_TRUE(sender.Attempts().empty());
}

TEST(SetHdsNetwork, AFailedSendStopsTheLaterCommands) {
    TDevInfo edited = ListedHds();
    edited.ip = "10.1.2.50";
    edited.name = "x";
    edited.httpPort = 81;
    TRecordingSender sender;
    sender.FailFrom(1);
    EXPECT_FALSE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, sender));
    EXPECT_EQ(sender.Attempts().size(), 2u);

    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, throwing));
    EXPECT_EQ(throwing.Attempts().size(), 1u);
}

TEST(SetHdsNetwork, RefusesLineBreaksInValues) {
    TDevInfo edited = ListedHds();
    edited.name = "x\r\nAuthorization:Basic a:b";
    TRecordingSender sender;
    EXPECT_FALSE(SetHdsNetwork(ListedHds(), edited, "admin", "1234", kClient, sender));
    edited = ListedHds();
    edited.httpPort = 81;
    EXPECT_FALSE(SetHdsNetwork(ListedHds(), edited, "admin", "12\n34", kClient, sender));
    EXPECT_TRUE(sender.Attempts().empty());
}

} // namespace
} // namespace zadari
