#include "protocols/CommaText.h"

#include "protocols/RecordingSender.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zadari {
namespace {

// A PELTRA reply of 22 fields as a device writes it (field numbers in the comments).
const std::string kPeltra22 = "PELTRAREPLY,x,"             // 0, 1
                              "00:1a:2B:3C:4D:5E,"         // 2 mac
                              "192.168.1.20,8080,"         // 3 ip, 4 port
                              "255.255.255.0,192.168.1.1," // 5 mask, 6 gateway
                              "cam one,ddns.example,"      // 7 name, 8 ddns host
                              "duser,dpass,3,"             // 9, 10, 11 option
                              "1,2,7,"                     // 12-14 version
                              "0,1,0,"                     // 15 pppoe, 16 dynamic, 17 dns auto
                              "8.8.8.8,8.8.4.4,"           // 18, 19
                              "host2.example,2";           // 20, 21

// The first `count` fields of the 22-field reply above.
std::string FirstFields(const std::string& text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count; ++i) {
        pos = text.find(',', pos);
        if (pos == std::string::npos)
            return text;
        ++pos;
    }
    return text.substr(0, pos - 1);
}

// The 22-field reply with field `index` replaced.
std::string WithField(std::string text, std::size_t index, const std::string& value) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i)
        start = text.find(',', start) + 1;
    std::size_t end = text.find(',', start);
    if (end == std::string::npos)
        end = text.size();
    return text.replace(start, end - start, value);
}

TEST(ParsePeltraReply, FillsEveryFieldOfATwentyTwoFieldReply) {
    TDevInfo r;
    ASSERT_TRUE(ParsePeltraReply(kPeltra22, r));
    EXPECT_EQ(r.family, kFamilyPeltra);
    EXPECT_EQ(r.mac, "00:1a:2B:3C:4D:5E");
    EXPECT_EQ(r.macKey, "001A2B3C4D5E");
    EXPECT_EQ(r.ip, "192.168.1.20");
    EXPECT_EQ(r.httpPort, 8080);
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.gateway, "192.168.1.1");
    EXPECT_EQ(r.name, "cam one");
    EXPECT_EQ(r.ddnsHost, "ddns.example");
    EXPECT_EQ(r.ddnsUser, "duser");
    EXPECT_EQ(r.ddnsPassword, "dpass");
    EXPECT_EQ(r.ddnsOption, 3);
    EXPECT_EQ(r.version, "1.2.7");
    EXPECT_EQ(r.ipMode, 1);
    EXPECT_EQ(r.dnsAuto, 0);
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.dns2, "8.8.4.4");
    EXPECT_EQ(r.ddnsHost2, "host2.example");
    EXPECT_EQ(r.protocolVersion, 2);
    EXPECT_TRUE(r.deviceId.empty());
    EXPECT_FALSE(r.HasRawReply());
}

TEST(ParsePeltraReply, FieldCountLimits) {
    struct Case {
        std::size_t fields;
        bool accepted;
        const char* host2;
        int protocolVersion;
    };
    const Case cases[] = {
        {18, false, "", 0},
        {19, true, "", 0},
        {20, true, "", 0},
        {21, true, "", 0}, // fields 20 and 21 are read only beyond 21 fields
        {22, true, "host2.example", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        TDevInfo r;
        EXPECT_EQ(ParsePeltraReply(FirstFields(kPeltra22, c.fields), r), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(r, TDevInfo{});
            continue;
        }
        EXPECT_EQ(r.ddnsHost2, c.host2);
        EXPECT_EQ(r.protocolVersion, c.protocolVersion);
    }
}

TEST(ParsePeltraReply, NineteenFieldsWithDnsAutomaticLeaveDnsEmpty) {
    TDevInfo r;
    ASSERT_TRUE(ParsePeltraReply(WithField(FirstFields(kPeltra22, 19), 17, "1"), r));
    EXPECT_EQ(r.dnsAuto, 1);
    EXPECT_EQ(r.dns1, "");
    EXPECT_EQ(r.dns2, "");
    EXPECT_EQ(r.ddnsHost2, "");
    EXPECT_EQ(r.protocolVersion, 0);
}

TEST(ParsePeltraReply, DnsAutomaticEmptiesTheDnsFieldsOfALongReply) {
    TDevInfo r;
    ASSERT_TRUE(ParsePeltraReply(WithField(kPeltra22, 17, "1"), r));
    EXPECT_EQ(r.dnsAuto, 1);
    EXPECT_EQ(r.dns1, "");
    EXPECT_EQ(r.dns2, "");
    // Anything but exactly "1" is not automatic.
    for (const char* flag : {"0", "", " 1", "01", "1 "}) {
        SCOPED_TRACE(flag);
        TDevInfo s;
        ASSERT_TRUE(ParsePeltraReply(WithField(kPeltra22, 17, flag), s));
        EXPECT_EQ(s.dnsAuto, 0);
        EXPECT_EQ(s.dns1, "8.8.8.8");
    }
}

TEST(ParsePeltraReply, MissingDnsFieldsReadAsEmpty) {
    // 19 fields with DNS not automatic: field 18 is there, field 19 is not.
    TDevInfo r;
    ASSERT_TRUE(ParsePeltraReply(FirstFields(kPeltra22, 19), r));
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.dns2, "");
}

TEST(ParsePeltraReply, IpModeFlags) {
    struct Case {
        const char* pppoe;
        const char* dynamic;
        int mode;
    };
    const Case cases[] = {
        {"1", "1", 0}, {"0", "0", 2},   {"0", "1", 1},   {"1", "0", 0},
        {"", "", 2},   {"01", "01", 2}, {" 1", " 1", 2}, {"1 ", "1 ", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pppoe) + "/" + c.dynamic);
        TDevInfo r;
        ASSERT_TRUE(
            ParsePeltraReply(WithField(WithField(kPeltra22, 15, c.pppoe), 16, c.dynamic), r));
        EXPECT_EQ(r.ipMode, c.mode);
    }
}

TEST(ParsePeltraReply, NumberFieldsAndTheirDefaults) {
    struct Case {
        const char* text;
        int port;
        int option;
    };
    const Case cases[] = {
        {"abc", 80, 0},         {"", 80, 0},
        {" 81", 81, 81},        {"81 ", 80, 0},
        {"+82", 82, 82},        {"-1", 65535, -1},
        {"70000", 4464, 70000}, {"99999999999", 80, 0},
        {"0x50", 80, 0},        {"2147483647", 65535, 2147483647},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TDevInfo r;
        ASSERT_TRUE(ParsePeltraReply(WithField(WithField(kPeltra22, 4, c.text), 11, c.text), r));
        EXPECT_EQ(r.httpPort, c.port);
        EXPECT_EQ(r.ddnsOption, c.option);
    }
    TDevInfo r;
    ASSERT_TRUE(ParsePeltraReply(WithField(kPeltra22, 21, "two"), r));
    EXPECT_EQ(r.protocolVersion, 0);
}

TEST(ParsePeltraReply, VersionJoinsThreeFieldsWithDots) {
    TDevInfo r;
    ASSERT_TRUE(
        ParsePeltraReply(WithField(WithField(WithField(kPeltra22, 12, "1"), 13, ""), 14, "7"), r));
    EXPECT_EQ(r.version, "1..7");
}

TEST(ParsePeltraReply, ReplyWordMustMatchExactly) {
    for (const char* word : {"PELTRAREPLYX", "PELTRAREPLY ", "peltrareply", "ZORIXREPLY"}) {
        SCOPED_TRACE(word);
        TDevInfo r;
        EXPECT_FALSE(ParsePeltraReply(WithField(kPeltra22, 0, word), r));
        EXPECT_EQ(r, TDevInfo{});
    }
}

TEST(ParsePeltraReply, ValuesKeepTheirBlanksAndBytes) {
    TDevInfo r;
    ASSERT_TRUE(ParsePeltraReply(WithField(kPeltra22, 7, std::string(" n\xE4me\0x ", 8)), r));
    EXPECT_EQ(r.name, std::string(" n\xE4me\0x ", 8));
}

TEST(ParseZorixReply, SeventeenFieldsAreEnoughAndSixteenAreNot) {
    const std::string zorix = WithField(kPeltra22, 0, "ZORIXREPLY");
    TDevInfo r;
    ASSERT_TRUE(ParseZorixReply(FirstFields(zorix, 17), r));
    EXPECT_EQ(r.family, kFamilyZorix);
    EXPECT_EQ(r.version, "1.2.7");
    EXPECT_EQ(r.ipMode, 1);
    // Field 17 is missing: DNS is not automatic and the DNS fields are empty.
    EXPECT_EQ(r.dnsAuto, 0);
    EXPECT_EQ(r.dns1, "");

    TDevInfo s;
    EXPECT_FALSE(ParseZorixReply(FirstFields(zorix, 16), s));
    EXPECT_EQ(s, TDevInfo{});

    TDevInfo t;
    ASSERT_TRUE(ParseZorixReply(zorix, t));
    EXPECT_EQ(t.protocolVersion, 2);
    EXPECT_FALSE(ParseZorixReply(kPeltra22, t));
}

// A ZORIXNET reply of 17 fields.
const std::string kZorixNet = "ZORIXNETREPLY,x,"
                              "00-1A-2B-3C-4D-5E,10.0.0.5,81,"
                              "255.0.0.0,10.0.0.1,nas,"
                              "dhost,duser,dpass,"
                              "1,1,1,"           // 11 pppoe, 12 dynamic, 13 dns auto
                              "1.1.1.1,9.9.9.9," // 14, 15
                              "V2.3,1";          // 16 version, 17 not read

TEST(ParseZorixNetReply, ShortLayout) {
    TDevInfo r;
    ASSERT_TRUE(ParseZorixNetReply(kZorixNet, r));
    EXPECT_EQ(r.family, kFamilyZorixNet);
    EXPECT_EQ(r.protocolVersion, 0);
    EXPECT_EQ(r.mac, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(r.macKey, "001A2B3C4D5E");
    EXPECT_EQ(r.ip, "10.0.0.5");
    EXPECT_EQ(r.httpPort, 81);
    EXPECT_EQ(r.mask, "255.0.0.0");
    EXPECT_EQ(r.gateway, "10.0.0.1");
    EXPECT_EQ(r.name, "nas");
    EXPECT_EQ(r.ddnsHost, "dhost");
    EXPECT_EQ(r.ddnsUser, "duser");
    EXPECT_EQ(r.ddnsPassword, "dpass");
    EXPECT_EQ(r.ddnsOption, 0);
    EXPECT_EQ(r.ipMode, 0); // PPPoE wins
    EXPECT_EQ(r.dnsAuto, 1);
    // The DNS fields are kept even when DNS is automatic.
    EXPECT_EQ(r.dns1, "1.1.1.1");
    EXPECT_EQ(r.dns2, "9.9.9.9");
    EXPECT_EQ(r.version, "V2.3");
}

TEST(ParseZorixNetReply, FieldCountsAndFlags) {
    TDevInfo r;
    ASSERT_TRUE(ParseZorixNetReply(FirstFields(kZorixNet, 16), r));
    EXPECT_EQ(r.version, ""); // field 16 is missing
    EXPECT_EQ(r.dns2, "9.9.9.9");

    TDevInfo s;
    EXPECT_FALSE(ParseZorixNetReply(FirstFields(kZorixNet, 15), s));
    EXPECT_EQ(s, TDevInfo{});

    TDevInfo t;
    ASSERT_TRUE(ParseZorixNetReply(WithField(WithField(kZorixNet, 11, "0"), 12, "1"), t));
    EXPECT_EQ(t.ipMode, 1);
    ASSERT_TRUE(ParseZorixNetReply(WithField(WithField(kZorixNet, 11, "0"), 12, "0"), t));
    EXPECT_EQ(t.ipMode, 2);

    EXPECT_FALSE(ParseZorixNetReply(WithField(kZorixNet, 0, "ZORIXNETREPLY2"), t));
}

TEST(ParseDecimal, BlanksSignAndNothingAfter) {
    EXPECT_EQ(ParseDecimal("  -12"), -12);
    EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseDecimal("2147483648"), std::nullopt);
    EXPECT_EQ(ParseDecimal("-"), std::nullopt);
    EXPECT_EQ(ParseDecimal(" "), std::nullopt);
    EXPECT_EQ(ParseDecimal("1 "), std::nullopt);
    EXPECT_EQ(ParseDecimal("\t1"), std::nullopt);
}

TEST(CommaTextQueries, ExactPayloadsToTheBroadcastAddress) {
    struct Case {
        bool (*send)(TDatagramSender&, std::uint16_t);
        const char* payload;
        std::size_t size;
    };
    const Case cases[] = {
        {SendPeltraQuery, "PELTRAQUERY,0", 13},
        {SendZorixQuery, "ZORIXQUERY,0", 12},
        {SendZorixNetQuery, "ZORIXNETQUERY,0", 15},
        {SendIpQuery, "IPQUERY", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        TRecordingSender sender;
        EXPECT_TRUE(c.send(sender, 10000));
        ASSERT_EQ(sender.Sent().size(), 1u);
        EXPECT_EQ(sender.Sent()[0].bytes, TBytesOf(c.payload));
        EXPECT_EQ(sender.Sent()[0].bytes.size(), c.size);
        EXPECT_EQ(sender.Sent()[0].address, "255.255.255.255");
        EXPECT_EQ(sender.Sent()[0].port, 10000);
    }
}

TEST(CommaTextQueries, FailuresAreSwallowed) {
    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SendPeltraQuery(failing, 10000));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SendZorixNetQuery(throwing, 10000));
}

TEST(CommaTextQueries, GuardedStepsStopAfterAFailedSend) {
    TRecordingSender ok;
    EXPECT_TRUE(SendPeltraAndZorixQueries(ok, 10000));
    ASSERT_EQ(ok.Sent().size(), 2u);
    EXPECT_EQ(ok.Sent()[0].Text(), "PELTRAQUERY,0");
    EXPECT_EQ(ok.Sent()[1].Text(), "ZORIXQUERY,0");

    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SendPeltraAndZorixQueries(failing, 10000));
    EXPECT_EQ(failing.Attempts().size(), 1u);

    TRecordingSender echo;
    EXPECT_TRUE(SendIpAndZorixNetQueries(echo, 10000));
    EXPECT_EQ(echo.Log(), (std::vector<std::string>{"send 255.255.255.255:10000 7 bytes", "pause 1",
                                                    "send 255.255.255.255:10000 15 bytes"}));

    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SendIpAndZorixNetQueries(throwing, 10000));
    EXPECT_EQ(throwing.Attempts().size(), 1u);
}

TEST(IpEcho, OnlyTheExactTextIsARequest) {
    EXPECT_TRUE(IsIpEchoRequest("IPREPLY"));
    EXPECT_FALSE(IsIpEchoRequest("IPREPLY "));
    EXPECT_FALSE(IsIpEchoRequest("IPREPLYX"));
    EXPECT_FALSE(IsIpEchoRequest(std::string_view("IPREPLY\0", 8)));
    EXPECT_FALSE(IsIpEchoRequest("IPREPLY192.168.1.20"));
    EXPECT_EQ(IpEchoAnswer("192.168.1.20"), "IPREPLY192.168.1.20");
}

TDevInfo ListedPeltra() {
    TDevInfo r;
    r.family = kFamilyPeltra;
    r.protocolVersion = 2;
    r.mac = "001A2B3C4D5E";
    r.ip = "192.168.1.20";
    r.httpPort = 80;
    r.mask = "255.255.255.0";
    r.gateway = "192.168.1.1";
    r.name = "cam1";
    r.ddnsHost = "dh";
    r.ddnsUser = "du";
    r.ddnsPassword = "dp";
    r.ipMode = 2;
    r.dnsAuto = 0;
    r.dns1 = "8.8.8.8";
    r.dns2 = "8.8.4.4";
    return r;
}

std::size_t CountCommas(const std::string& s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), ','));
}

TEST(SetPeltraNetwork, SeventeenValuesAfterTheHead) {
    const TDevInfo listed = ListedPeltra();
    TDevInfo edited = listed;
    edited.mac = "001A2B3C4D5F";
    edited.ip = "192.168.1.30";
    edited.httpPort = 8080;
    edited.name = "door";
    edited.ipMode = 1;
    edited.dnsAuto = 1;

    const std::string expected = "PELTRAQUERY,1,"
                                 "001A2B3C4D5E,001A2B3C4D5F,192.168.1.30,8080,255.255.255.0,"
                                 "192.168.1.1,door,dh,du,dp,0,1,1,8.8.8.8,8.8.4.4,admin,";
    EXPECT_EQ(BuildPeltraSetCommand(listed, edited, "admin", ""), expected);
    EXPECT_EQ(CountCommas(expected) - 2, 16u); // 17 values

    TRecordingSender sender;
    EXPECT_TRUE(SetPeltraNetwork(listed, edited, "admin", "", sender, 1234));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].Text(), expected);
    // The devices listen on 10000 only.
    EXPECT_EQ(sender.Log(), (std::vector<std::string>{
                                "pause 10", "send 255.255.255.255:10000 " +
                                                std::to_string(expected.size()) + " bytes"}));
}

TEST(SetPeltraNetwork, AssignmentFlags) {
    const TDevInfo listed = ListedPeltra();
    TDevInfo edited = listed;
    edited.ipMode = 0;
    EXPECT_NE(BuildPeltraSetCommand(listed, edited, "u", "p").find(",dp,1,0,0,"),
              std::string::npos);
    edited.ipMode = 2;
    EXPECT_NE(BuildPeltraSetCommand(listed, edited, "u", "p").find(",dp,0,0,0,"),
              std::string::npos);
}

TEST(SetPeltraNetwork, AFailedSendIsNotApplied) {
    TRecordingSender sender;
    sender.FailAll();
    EXPECT_FALSE(SetPeltraNetwork(ListedPeltra(), ListedPeltra(), "admin", "", sender, 10000));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SetZorixNetNetwork(ListedPeltra(), ListedPeltra(), "admin", "", throwing, 10000));
}

TEST(SetZorixNetNetwork, SixteenValuesWithoutTheName) {
    const TDevInfo listed = ListedPeltra();
    TDevInfo edited = listed;
    edited.gateway = "192.168.1.254";
    const std::string expected = "ZORIXNETQUERY,1,"
                                 "001A2B3C4D5E,001A2B3C4D5E,192.168.1.20,80,255.255.255.0,"
                                 "192.168.1.254,dh,du,dp,0,0,0,8.8.8.8,8.8.4.4,admin,secret";
    EXPECT_EQ(BuildZorixNetSetCommand(listed, edited, "admin", "secret"), expected);
    EXPECT_EQ(CountCommas(expected) - 2, 15u); // 16 values

    TRecordingSender sender;
    EXPECT_TRUE(SetZorixNetNetwork(listed, edited, "admin", "secret", sender, 10000));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].Text(), expected);
    EXPECT_EQ(sender.Sent()[0].port, 10000);
    EXPECT_EQ(sender.Log().front(), "pause 10");
}

TEST(SendPeltraCommand3, ListedMacAfterThePause) {
    TRecordingSender sender;
    TDevInfo listed = ListedPeltra();
    EXPECT_TRUE(SendPeltraCommand3(listed, sender));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].Text(), "PELTRAQUERY,3,001A2B3C4D5E");
    EXPECT_EQ(sender.Sent()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Sent()[0].port, 10000);
    EXPECT_EQ(sender.Log().front(), "pause 10");
}

} // namespace
} // namespace zadari
