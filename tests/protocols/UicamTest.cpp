#include "protocols/Uicam.h"

#include "RecordingSender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace zadari {
namespace {

std::string_view AsText(const TBytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void Put(TBytes& b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}
void PutText(TBytes& b, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

constexpr char kS5[] = "GET /api/userip.asp?username=bob&userpwd=pw&tcpport=80&lanip=x&";

/// A reply laid out by hand: the string area starts at 8 + 56 = 64 and holds
/// "admin:1234", "s2", "dyn.example.com", "s4", kS5, "pa:pb", "s7".
/// A shorter `size` cuts the reply there.
TBytes SampleReply(std::size_t size = 300) {
    TBytes b(std::max<std::size_t>(size, 300), 0);
    PutText(b, 0, "uiv2");
    Put(b, 4, {0x01, 0x0A});
    Put(b, 8, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    Put(b, 14, {0x1F, 0x90}); // 8080
    Put(b, 16, {192, 168, 1, 20});
    Put(b, 20, {192, 168, 1, 1});
    Put(b, 24, {255, 255, 255, 0});
    Put(b, 28, {8, 8, 8, 8});
    Put(b, 32, {8, 8, 4, 4});
    Put(b, 44, {0x11});
    Put(b, 52, {56});
    Put(b, 53, {0xB7});
    Put(b, 54, {0x05});
    std::size_t at = 64;
    for (std::string_view s :
         {std::string_view("admin:1234"), std::string_view("s2"),
          std::string_view("dyn.example.com"), std::string_view("s4"), std::string_view(kS5),
          std::string_view("pa:pb"), std::string_view("s7")}) {
        PutText(b, at, s);
        at += s.size() + 1;
    }
    b.resize(size);
    return b;
}

TEST(UicamQuery, ElevenBytesToPort10139) {
    TRecordingSender sender;
    EXPECT_TRUE(SendUicamQuery(sender, 10139));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].Text(), "uicam query");
    EXPECT_EQ(sender.Attempts()[0].bytes.size(), 11u);
    EXPECT_EQ(sender.Attempts()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Attempts()[0].port, 10139);
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_TRUE(SendUicamQuery(throwing));
}

TEST(ParseUicamReply, FixedFields) {
    const TBytes reply = SampleReply();
    TDevInfo r;
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.family, 3);
    EXPECT_EQ(r.version, "01-0A");
    EXPECT_EQ(r.mac, "001A2B3C4D5E");
    EXPECT_EQ(r.macKey, "001A2B3C4D5E");
    EXPECT_EQ(r.httpPort, 8080);
    EXPECT_EQ(r.ip, "192.168.1.20");
    EXPECT_EQ(r.gateway, "192.168.1.1");
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.dns2, "8.8.4.4");
    EXPECT_EQ(r.uicamBit7, 1);
    EXPECT_EQ(r.uicamBits45, 3);
    EXPECT_EQ(r.uicamLow4, 7);
    EXPECT_EQ(r.ipMode, 2);
    EXPECT_EQ(r.uicamLow3, 5);
}

TEST(ParseUicamReply, StringArea) {
    const TBytes reply = SampleReply();
    TDevInfo r;
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.userName, "admin");
    EXPECT_EQ(r.userPassword, "1234");
    EXPECT_EQ(r.ddnsHost, "dyn.example.com");
    EXPECT_EQ(r.ddnsUser, "bob");
    EXPECT_EQ(r.ddnsPassword, "pw");
    EXPECT_EQ(r.uicamPairA, "pa");
    EXPECT_EQ(r.uicamPairB, "pb");
}

TEST(ParseUicamReply, FlagsB) {
    struct Case {
        std::uint8_t flags;
        int ipMode;
        int low3;
    };
    const Case cases[] = {{0x88, 1, 0}, {0x08, 0, 0}, {0x05, 2, 5}, {0x80, 1, 0},
                          {0x0F, 0, 7}, {0x00, 2, 0}, {0xFF, 1, 7}};
    for (const auto& c : cases) {
        TBytes reply = SampleReply();
        reply[54] = c.flags;
        TDevInfo r;
        ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
        EXPECT_EQ(r.ipMode, c.ipMode) << int(c.flags);
        EXPECT_EQ(r.uicamLow3, c.low3) << int(c.flags);
    }
}

TEST(ParseUicamReply, FlagsA) {
    struct Case {
        std::uint8_t flags;
        int bit7, bits45, low4;
    };
    const Case cases[] = {{0xB7, 1, 3, 7}, {0x00, 0, 0, 0}, {0x4F, 0, 0, 15}, {0x9A, 1, 1, 10}};
    for (const auto& c : cases) {
        TBytes reply = SampleReply();
        reply[53] = c.flags;
        TDevInfo r;
        ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
        EXPECT_EQ(r.uicamBit7, c.bit7) << int(c.flags);
        EXPECT_EQ(r.uicamBits45, c.bits45) << int(c.flags);
        EXPECT_EQ(r.uicamLow4, c.low4) << int(c.flags);
    }
}

/// A reply whose string area at 64 holds exactly these seven strings.
TBytes ReplyWithStrings(std::initializer_list<std::string_view> strings) {
    TBytes b = SampleReply();
    std::fill(b.begin() + 64, b.end(), 0);
    std::size_t at = 64;
    for (auto s : strings) {
        PutText(b, at, s);
        at += s.size() + 1;
    }
    return b;
}

TEST(ParseUicamReply, S1WithoutColonIsTheWholeUserName) {
    const TBytes reply = ReplyWithStrings({"admin", "", "", "", "", "", ""});
    TDevInfo r;
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.userName, "admin");
    EXPECT_EQ(r.userPassword, "");
}

TEST(ParseUicamReply, EmptyS6LeavesThePairUntouched) {
    const TBytes reply = ReplyWithStrings({"a:b", "", "", "", "", "", ""});
    TDevInfo r;
    r.uicamPairA = "keepA";
    r.uicamPairB = "keepB";
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.uicamPairA, "keepA");
    EXPECT_EQ(r.uicamPairB, "keepB");
}

TEST(ParseUicamReply, S6WithoutColonClearsPairB) {
    const TBytes reply = ReplyWithStrings({"", "", "", "", "", "solo", ""});
    TDevInfo r;
    r.uicamPairB = "old";
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.uicamPairA, "solo");
    EXPECT_EQ(r.uicamPairB, "");
}

TEST(ParseUicamReply, S5ValuesRunToTheNextAmpersandOrTheEnd) {
    const TBytes reply =
        ReplyWithStrings({"", "", "", "", "x?username=bob&userpwd=pw&more", "", ""});
    TDevInfo r;
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.ddnsUser, "bob");
    EXPECT_EQ(r.ddnsPassword, "pw");

    const TBytes atEnd = ReplyWithStrings({"", "", "", "", "userpwd=p&username=ann", "", ""});
    TDevInfo e;
    ASSERT_TRUE(ParseUicamReply(AsText(atEnd), e));
    EXPECT_EQ(e.ddnsUser, "ann");
    EXPECT_EQ(e.ddnsPassword, "p");

    const TBytes missing = ReplyWithStrings({"", "", "", "", "nothing here", "", ""});
    TDevInfo m;
    m.ddnsUser = "u0";
    m.ddnsPassword = "p0";
    ASSERT_TRUE(ParseUicamReply(AsText(missing), m));
    EXPECT_EQ(m.ddnsUser, "u0");
    EXPECT_EQ(m.ddnsPassword, "p0");
}

TEST(ParseUicamReply, KeepsA520ByteRawReply) {
    const TBytes shortReply = SampleReply(100);
    TDevInfo s;
    ASSERT_TRUE(ParseUicamReply(AsText(shortReply), s));
    ASSERT_EQ(s.rawReply.size(), 520u);
    EXPECT_TRUE(std::equal(shortReply.begin(), shortReply.end(), s.rawReply.begin()));
    EXPECT_TRUE(std::all_of(s.rawReply.begin() + 100, s.rawReply.end(),
                            [](std::uint8_t b) { return b == 0; }));

    TBytes longReply = SampleReply(700);
    longReply[519] = 0xEE;
    longReply[520] = 0xFF;
    TDevInfo l;
    ASSERT_TRUE(ParseUicamReply(AsText(longReply), l));
    ASSERT_EQ(l.rawReply.size(), 520u);
    EXPECT_TRUE(std::equal(l.rawReply.begin(), l.rawReply.end(), longReply.begin()));
}

TEST(ParseUicamReply, MagicAloneIsAcceptedAndReadsZeros) {
    TDevInfo r;
    ASSERT_TRUE(ParseUicamReply("uiv2", r));
    EXPECT_EQ(r.version, "00-00");
    EXPECT_EQ(r.mac, "000000000000");
    EXPECT_EQ(r.ip, "0.0.0.0");
    EXPECT_EQ(r.ipMode, 2);
    EXPECT_EQ(r.rawReply.size(), 520u);
}

TEST(ParseUicamReply, StringsEndAtTheEndOfThe520Bytes) {
    TBytes reply = SampleReply(520);
    reply[52] = 255; // area at 263
    std::fill(reply.begin() + 263, reply.end(), 'z');
    TDevInfo r;
    ASSERT_TRUE(ParseUicamReply(AsText(reply), r));
    EXPECT_EQ(r.userName, std::string(520 - 263, 'z'));
    EXPECT_EQ(r.ddnsHost, "");
}

TEST(ParseUicamReply, RejectsOtherMagics) {
    TDevInfo r;
    EXPECT_FALSE(ParseUicamReply("uiv", r));
    EXPECT_FALSE(ParseUicamReply("uiv3....", r));
    EXPECT_FALSE(ParseUicamReply("uisp", r));
    EXPECT_EQ(r, TDevInfo{});
}

// --- the "uisp" command -------------------------------------------------------------------

TDevInfo ListedUicam() {
    TDevInfo r;
    const TBytes reply = SampleReply(520);
    EXPECT_TRUE(ParseUicamReply(AsText(reply), r));
    return r;
}

TEST(UicamSetCommand, HeaderFieldsFromTheEditedRecord) {
    const TDevInfo listed = ListedUicam();
    TDevInfo edited = listed;
    edited.mac = "A1B2C3D4E5F6";
    edited.httpPort = 81;
    edited.ip = "10.0.0.5";
    edited.gateway = "10.0.0.1";
    edited.mask = "255.0.0.0";
    edited.dns1 = "1.1.1.1";
    edited.dns2 = "192.168.1.300"; // the low 8 bits of 300 are 44
    TBytes cmd;
    ASSERT_TRUE(BuildUicamSetCommand(listed, edited, cmd));
    ASSERT_EQ(cmd.size(), 520u);
    EXPECT_EQ(AsText(cmd).substr(0, 4), "uisp");
    EXPECT_EQ(TBytes(cmd.begin() + 4, cmd.begin() + 8), (TBytes{0x01, 0x0A, 0x00, 0x00}));
    EXPECT_EQ(TBytes(cmd.begin() + 8, cmd.begin() + 36),
              (TBytes{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x00, 0x51, 10, 0, 0,   5,   10, 0,
                      0,    1,    255,  0,    0,    0,    1,    1,    1,  1, 192, 168, 1,  44}));
    EXPECT_EQ(cmd[44], 0x80);
    EXPECT_EQ(cmd[52], 56);
}

TEST(UicamSetCommand, FlagsAKeepTheirBitsAndGetTheRecordsBits) {
    TDevInfo listed = ListedUicam();
    listed.rawReply[53] = 0x40;
    TDevInfo edited = listed;
    edited.uicamBit7 = 1;
    edited.uicamBits45 = 2;
    edited.uicamLow4 = 0x13; // only its low four bits count
    TBytes cmd;
    ASSERT_TRUE(BuildUicamSetCommand(listed, edited, cmd));
    EXPECT_EQ(cmd[53], 0x40 | 0x80 | 0x20 | 0x03);
}

TEST(UicamSetCommand, FlagsBFollowTheEditedMode) {
    struct Case {
        std::uint8_t before;
        int ipMode;
        int low3;
        std::uint8_t after;
    };
    const Case cases[] = {
        {0x05, 1, 5, 0x85},                     // fixed to dynamic: bit 7 set, other bits kept
        {0x21, 0, 1, 0x29},                     // PPPoE: bit 3 set, other bits kept
        {0xA1, 0, 1, 0x29},                     // dynamic to PPPoE: bit 7 goes too
        {0xAD, 2, 5, 0x05},                     // fixed: cleared apart from uicamLow3
        {0xAD, 2, 0, 0x00}, {0x00, 1, 9, 0x81}, // uicamLow3 AND 7
    };
    for (const auto& c : cases) {
        TDevInfo listed = ListedUicam();
        listed.rawReply[54] = c.before;
        TDevInfo edited = listed;
        edited.ipMode = static_cast<std::uint8_t>(c.ipMode);
        edited.uicamLow3 = c.low3;
        TBytes cmd;
        ASSERT_TRUE(BuildUicamSetCommand(listed, edited, cmd));
        EXPECT_EQ(cmd[54], c.after) << int(c.before) << " mode " << c.ipMode;
    }
}

TEST(UicamSetCommand, StringsAreRewrittenFrom62WithSingleNuls) {
    TDevInfo listed = ListedUicam();
    // Mark the tail so that we can see which bytes the command keeps from the copy.
    std::fill(listed.rawReply.begin() + 400, listed.rawReply.end(), 0xCC);
    TDevInfo edited = listed;
    edited.ddnsHost = "h"; // shorter than dyn.example.com
    edited.ddnsUser = "u";
    edited.ddnsPassword = "p";
    edited.httpPort = 80;
    edited.ip = "10.0.0.5";
    TBytes cmd;
    ASSERT_TRUE(BuildUicamSetCommand(listed, edited, cmd));
    const std::string expected = std::string("admin:1234") + '\0' + "" + '\0' + "h" + '\0' + "s4" +
                                 '\0' +
                                 "GET /api/userip.asp?username=u&userpwd=p&tcpport=80&lanip="
                                 "10.0.0.5&\r\n\r\n" +
                                 '\0' + "pa:pb" + '\0' + "s7" + '\0';
    EXPECT_EQ(AsText(cmd).substr(62, expected.size()), expected);
    // What follows the last NUL is what the copy held there.
    const std::size_t end = 62 + expected.size();
    EXPECT_TRUE(std::equal(cmd.begin() + static_cast<std::ptrdiff_t>(end), cmd.end(),
                           listed.rawReply.begin() + static_cast<std::ptrdiff_t>(end)));
    EXPECT_EQ(cmd[519], 0xCC);
}

TEST(UicamSetCommand, WithoutStoredReplyNothingIsSent) {
    TDevInfo listed = ListedUicam();
    listed.rawReply.clear();
    TRecordingSender sender;
    EXPECT_FALSE(SetUicamNetwork(listed, listed, sender, 10139));
    EXPECT_TRUE(sender.Attempts().empty());
}

TEST(UicamSetCommand, StringsThatDoNotFitAreRefused) {
    const TDevInfo listed = ListedUicam();
    // Strings other than S3: "admin:1234"(11) ""(1) "s4"(3) "pa:pb"(6) "s7"(3) = 24 bytes, and
    // S5 with u, p, 80 and 10.0.0.5 is 71 bytes + NUL: 96. 458 - 96 = 362 bytes for S3 + NUL.
    TDevInfo edited = listed;
    edited.ddnsUser = "u";
    edited.ddnsPassword = "p";
    edited.httpPort = 80;
    edited.ip = "10.0.0.5";
    edited.ddnsHost = std::string(361, 'h');
    TBytes cmd;
    ASSERT_TRUE(BuildUicamSetCommand(listed, edited, cmd));
    EXPECT_EQ(cmd.size(), 520u);
    EXPECT_EQ(cmd[519], 0); // the last NUL lands on the last byte

    edited.ddnsHost = std::string(362, 'h');
    TBytes refused = {1, 2, 3};
    EXPECT_FALSE(BuildUicamSetCommand(listed, edited, refused));
    EXPECT_EQ(refused, (TBytes{1, 2, 3}));
    TRecordingSender sender;
    EXPECT_FALSE(SetUicamNetwork(listed, edited, sender));
    EXPECT_TRUE(sender.Attempts().empty());
}

TEST(UicamSetCommand, AddressThatIsNotDottedIsRefused) {
    const TDevInfo listed = ListedUicam();
    for (const char* bad : {"1.2.3", "", "a.b.c.d", "1.2.3.4 ", "1..3.4"}) {
        TDevInfo edited = listed;
        edited.gateway = bad;
        TBytes cmd;
        EXPECT_FALSE(BuildUicamSetCommand(listed, edited, cmd)) << bad;
    }
    TDevInfo edited = listed;
    edited.mask = " 255.+255.255.0.9"; // leading blank, a sign, parts after the fourth ignored
    TBytes cmd;
    ASSERT_TRUE(BuildUicamSetCommand(listed, edited, cmd));
    EXPECT_EQ(TBytes(cmd.begin() + 24, cmd.begin() + 28), (TBytes{255, 255, 255, 0}));
}

TEST(SetUicamNetwork, BroadcastsTheCommandAndReportsFailures) {
    const TDevInfo listed = ListedUicam();
    TRecordingSender sender;
    EXPECT_TRUE(SetUicamNetwork(listed, listed, sender, 10139));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].bytes.size(), 520u);
    EXPECT_EQ(sender.Attempts()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Attempts()[0].port, 10139);

    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SetUicamNetwork(listed, listed, failing));
}

} // namespace
} // namespace zadari
