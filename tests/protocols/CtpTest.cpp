#include "protocols/Ctp.h"

#include "RecordingSender.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

TEST(CtpSearch, IsTheExact34ByteTextBroadcastToPort7999) {
    EXPECT_EQ(BuildCtpSearch(), "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n");
    EXPECT_EQ(BuildCtpSearch().size(), 34u);

    TRecordingSender sender;
    EXPECT_TRUE(SendCtpSearch(sender, 7999));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].Text(), "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n");
    EXPECT_EQ(sender.Attempts()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Attempts()[0].port, 7999);
}

TEST(CtpSearch, SendFailuresAreSwallowed) {
    TRecordingSender failing;
    failing.FailAll();
    EXPECT_TRUE(SendCtpSearch(failing));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_TRUE(SendCtpSearch(throwing));
}

TEST(ParseCtpReply, FillsEveryArgumentOfTheTable) {
    const std::string reply = "REPLY * CTP/1.0\r\n"
                              "-sn SN0042\r\n"
                              "-name Front door\r\n"
                              "-ip 192.168.1.20\r\n"
                              "-netmask 255.255.255.0\r\n"
                              "-portctp 8080\r\n"
                              "-mdns 8.8.8.8\r\n"
                              "-sdns 8.8.4.4\r\n"
                              "-mac 00:1a:2B:3c:4D:5e\r\n"
                              "-gw 192.168.1.1\r\n"
                              "-ddns dyn.example.com\r\n"
                              "-ddnsuser bob\r\n"
                              "-ddnspswd secret\r\n"
                              "-version V2.1.0\r\n"
                              "\r\n";
    TDevInfo r;
    ASSERT_TRUE(ParseCtpReply(reply, r));
    EXPECT_EQ(r.family, 5);
    EXPECT_EQ(r.ipMode, 2);
    EXPECT_EQ(r.deviceId, "SN0042");
    EXPECT_EQ(r.name, "Front door");
    EXPECT_EQ(r.ip, "192.168.1.20");
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.httpPort, 8080);
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.dns2, "8.8.4.4");
    EXPECT_EQ(r.mac, "001a2B3c4D5e");
    EXPECT_EQ(r.macKey, "001A2B3C4D5E");
    EXPECT_EQ(r.gateway, "192.168.1.1");
    EXPECT_EQ(r.ddnsHost, "dyn.example.com");
    EXPECT_EQ(r.ddnsUser, "bob");
    EXPECT_EQ(r.ddnsPassword, "secret");
    EXPECT_EQ(r.version, "V2.1.0");
}

TEST(ParseCtpReply, DdnsUserLineBeforeDdnsLineIsTakenForTheHost) {
    TDevInfo r;
    ASSERT_TRUE(ParseCtpReply("REPLY\r\n-ddnsuser bob\r\n-ddns real.host\r\n", r));
    EXPECT_EQ(r.ddnsHost, "ser bob");
    EXPECT_EQ(r.ddnsUser, "bob");
}

TEST(ParseCtpReply, PortDefaultsOnlyWhenTheLineIsPresent) {
    TDevInfo none;
    ASSERT_TRUE(ParseCtpReply("REPLY\r\n-ip 10.0.0.1", none));
    EXPECT_EQ(none.httpPort, 0);
    EXPECT_EQ(none.ip, "10.0.0.1"); // last line without a final CR LF still counts

    TDevInfo bad;
    ASSERT_TRUE(ParseCtpReply("REPLY\r\n-portctp eighty\r\n", bad));
    EXPECT_EQ(bad.httpPort, 80);

    TDevInfo empty;
    ASSERT_TRUE(ParseCtpReply("REPLY\r\n-portctp\r\n", empty));
    EXPECT_EQ(empty.httpPort, 80);

    TDevInfo wide;
    ASSERT_TRUE(ParseCtpReply("REPLY\r\n-portctp 65617\r\n", wide));
    EXPECT_EQ(wide.httpPort, 81); // a 16-bit field keeps the low 16 bits of 65617
}

TEST(ParseCtpReply, BareNameGivesEmptyValueAndMissingLinesLeaveFieldsEmpty) {
    TDevInfo r;
    ASSERT_TRUE(ParseCtpReply("REPLY\r\n-ip\r\n", r));
    EXPECT_EQ(r.ip, "");
    EXPECT_EQ(r.mac, "");
    EXPECT_EQ(r.macKey, "");
    EXPECT_EQ(r.name, "");
}

TEST(ParseCtpReply, RejectsTextWithoutTheReplyPrefix) {
    TDevInfo r;
    EXPECT_FALSE(ParseCtpReply("REPL", r));
    EXPECT_FALSE(ParseCtpReply("reply\r\n-ip 1.2.3.4", r));
    EXPECT_FALSE(ParseCtpReply("", r));
    EXPECT_EQ(r, TDevInfo{});
}

TEST(MacWithColons, PairsCountedFromTheEnd) {
    EXPECT_EQ(MacWithColons("001A2B3C4D5E"), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(MacWithColons("ABCDE"), "BC:DE");
    EXPECT_EQ(MacWithColons("AB"), "AB");
    EXPECT_EQ(MacWithColons("A"), "");
    EXPECT_EQ(MacWithColons(""), "");
}

TDevInfo ListedCtp() {
    TDevInfo r;
    r.family = 5;
    r.deviceId = "SN0042";
    r.name = "cam";
    r.ip = "192.168.1.20";
    r.mask = "255.255.255.0";
    r.gateway = "192.168.1.1";
    r.dns1 = "8.8.8.8";
    r.dns2 = "8.8.4.4";
    r.mac = "001A2B3C4D5E";
    r.httpPort = 80;
    r.ipMode = 2;
    return r;
}

TEST(CtpSetCommand, ExactTextWithTheListedAddressAsInterface) {
    const TDevInfo listed = ListedCtp();
    TDevInfo edited = listed;
    edited.ip = "10.0.0.5";
    edited.mask = "255.0.0.0";
    edited.gateway = "10.0.0.1";
    edited.name = "yard";
    edited.httpPort = 8080;
    edited.ipMode = 1;
    const std::string arguments = "-sn SN0042\r\n"
                                  "-interface 192.168.1.20\r\n"
                                  "-pswd pw\r\n"
                                  "-dhcpen 1\r\n"
                                  "-ip 10.0.0.5\r\n"
                                  "-netmask 255.0.0.0\r\n"
                                  "-defgw 10.0.0.1\r\n"
                                  "-name yard\r\n"
                                  "-mdns 8.8.8.8\r\n"
                                  "-sdns 8.8.4.4\r\n"
                                  "-mac 00:1A:2B:3C:4D:5E\r\n"
                                  "-port 8080\r\n";
    const std::string expected =
        "CMD setip CTP/1.0\r\nContent-Length: " + std::to_string(arguments.size() + 4) +
        "\r\n\r\n" + arguments + "\r\n";
    EXPECT_EQ(BuildCtpSetCommand(listed, edited, "pw"), expected);
}

TEST(CtpSetCommand, ContentLengthEqualsEverythingAfterItsLine) {
    const std::string message = BuildCtpSetCommand(ListedCtp(), ListedCtp(), "secret");
    const std::string header = "Content-Length: ";
    const auto at = message.find(header);
    ASSERT_NE(at, std::string::npos);
    const auto lineEnd = message.find("\r\n", at);
    const int count = std::stoi(message.substr(at + header.size(), lineEnd - at - header.size()));
    EXPECT_EQ(static_cast<std::size_t>(count), message.size() - (lineEnd + 2));
}

TEST(CtpSetCommand, DhcpFlagOnlyForDynamic) {
    for (const auto& [mode, flag] : {std::pair{0, "-dhcpen 0\r\n"}, std::pair{1, "-dhcpen 1\r\n"},
                                     std::pair{2, "-dhcpen 0\r\n"}}) {
        TDevInfo edited = ListedCtp();
        edited.ipMode = static_cast<std::uint8_t>(mode);
        EXPECT_NE(BuildCtpSetCommand(ListedCtp(), edited, "").find(flag), std::string::npos)
            << mode;
    }
}

TEST(SetCtpNetwork, BroadcastsToPort7999AndReportsFailures) {
    TRecordingSender sender;
    EXPECT_TRUE(SetCtpNetwork(ListedCtp(), ListedCtp(), "pw", sender));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Attempts()[0].port, 7999);
    EXPECT_EQ(sender.Attempts()[0].Text(), BuildCtpSetCommand(ListedCtp(), ListedCtp(), "pw"));

    TRecordingSender otherPort;
    EXPECT_TRUE(SetCtpNetwork(ListedCtp(), ListedCtp(), "pw", otherPort, 7000));
    ASSERT_EQ(otherPort.Attempts().size(), 1u);
    EXPECT_EQ(otherPort.Attempts()[0].port, 7999);

    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SetCtpNetwork(ListedCtp(), ListedCtp(), "pw", failing));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SetCtpNetwork(ListedCtp(), ListedCtp(), "pw", throwing));
}

TEST(SetCtpNetwork, RefusesValuesThatWouldAddLines) {
    TDevInfo edited = ListedCtp();
    edited.name = "cam\r\n-ip 1.1.1.1";
    TRecordingSender sender;
    EXPECT_FALSE(SetCtpNetwork(ListedCtp(), edited, "pw", sender));
    EXPECT_FALSE(SetCtpNetwork(ListedCtp(), ListedCtp(), "p\nw", sender));
    EXPECT_TRUE(sender.Attempts().empty());
}

} // namespace
} // namespace zadari
