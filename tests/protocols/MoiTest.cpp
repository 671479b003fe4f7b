#include "protocols/Moi.h"

#include "protocols/RecordingSender.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace zadari {
namespace {

struct TMsg {
    TBytes bytes;
    TMsg& Raw(std::initializer_list<std::uint8_t> raw) {
        bytes.insert(bytes.end(), raw);
        return *this;
    }
    TMsg& Text(std::string_view text, std::size_t width) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.insert(bytes.end(), width - text.size(), 0);
        return *this;
    }
    TMsg& Zeros(std::size_t n) {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
};

// A search reply with the given command, body length and body.
TMsg Header(std::uint8_t command, std::initializer_list<std::uint8_t> bodyLengthLe) {
    TMsg m;
    m.Text("MO_I", 4).Raw({command, 0}).Zeros(9).Raw(bodyLengthLe).Zeros(4);
    return m;
}

TMsg Body64(TMsg m, std::string_view name = "Cam\xC3\xA9ra") {
    m.Text("001A2B3C4D5E", 13)
        .Text(name, 21)
        .Raw({192, 168, 1, 20})
        .Raw({255, 255, 255, 0})
        .Raw({192, 168, 1, 1})
        .Raw({8, 8, 8, 8})
        .Raw({9, 9, 9, 9}) // not read
        .Raw({1, 2, 3, 4})
        .Raw({5, 6, 7, 8})
        .Raw({0x1F, 0x90}); // 8080, big-endian
    return m;
}

TEST(ParseMoiReply, BodyOfSixtyFourBytes) {
    const TMsg m = Body64(Header(1, {64, 0, 0, 0}));
    ASSERT_EQ(m.bytes.size(), 23u + 64u);
    TDevInfo r;
    ASSERT_TRUE(ParseMoiReply(m.View(), r));
    EXPECT_EQ(r.family, kFamilyMoi);
    EXPECT_EQ(r.mac, "001A2B3C4D5E");
    EXPECT_EQ(r.macKey, "001A2B3C4D5E");
    EXPECT_EQ(r.name, "Cam\xC3\xA9ra");
    EXPECT_EQ(r.ip, "192.168.1.20");
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.gateway, "192.168.1.1");
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.dns2, "");
    EXPECT_EQ(r.version, "1.2.3.4:5.6.7.8");
    EXPECT_EQ(r.httpPort, 8080);
    EXPECT_EQ(r.ipMode, 2);
    EXPECT_EQ(r.ddnsHost, "");
    EXPECT_EQ(r.ddnsUser, "");
}

TEST(ParseMoiReply, BodyOfSixtyFiveBytesHasNoAssignment) {
    TMsg m = Body64(Header(1, {65, 0, 0, 0}));
    m.Raw({1});
    TDevInfo r;
    ASSERT_TRUE(ParseMoiReply(m.View(), r));
    EXPECT_EQ(r.ipMode, 2);
    EXPECT_EQ(r.httpPort, 8080);
}

TEST(ParseMoiReply, BodyOf195BytesCarriesAssignmentAndDynamicDns) {
    for (std::uint8_t flag : {1, 0, 2}) {
        TMsg m = Body64(Header(1, {195, 0, 0, 0}));
        m.Raw({flag}).Text("ddns.example:8080", 65).Text("duser", 65);
        ASSERT_EQ(m.bytes.size(), 23u + 195u);
        ASSERT_EQ(m.bytes[87], flag);
        TDevInfo r;
        ASSERT_TRUE(ParseMoiReply(m.View(), r));
        EXPECT_EQ(r.ipMode, flag == 1 ? 1 : 2);
        EXPECT_EQ(r.ddnsHost, "ddns.example:8080");
        EXPECT_EQ(r.ddnsUser, "duser");
    }
}

TEST(ParseMoiReply, TextsStopAtTheirWidth) {
    TMsg m = Header(1, {195, 0, 0, 0});
    m.Text("0123456789ABC", 13)            // no NUL: 13 characters
        .Text("abcdefghijklmnopqrstu", 21) // no NUL: 21 bytes
        .Zeros(28)
        .Raw({0, 80})
        .Raw({1})
        .Text(std::string(65, 'h'), 65)
        .Text(std::string(65, 'u'), 65)
        .Text("trailing", 8);
    TDevInfo r;
    ASSERT_TRUE(ParseMoiReply(m.View(), r));
    EXPECT_EQ(r.mac, "0123456789ABC");
    EXPECT_EQ(r.name, "abcdefghijklmnopqrstu");
    EXPECT_EQ(r.httpPort, 80);
    EXPECT_EQ(r.ddnsHost, std::string(65, 'h'));
    EXPECT_EQ(r.ddnsUser, std::string(65, 'u'));
}

TEST(ParseMoiReply, IllFormedNamesAreStoredEmpty) {
    struct Case {
        std::string_view name;
        bool kept;
    };
    const Case cases[] = {
        {"plain", true},
        {"\xE6\x91\x84\xE5\x83\x8F\xE6\xA9\x9F", true}, // three CJK characters
        {"\xF0\x9F\x93\xB7 cam", true},                 // a four-byte character
        {"Cam\xC3", false},                             // lead byte without continuation
        {"Cam\xA9ra", false},                           // continuation without lead
        {"\xC0\xAF", false},                            // overlong
        {"\xED\xA0\x80", false},                        // surrogate
        {"\xE6\x91", false},                            // cut off
        // 19 ASCII bytes and a three-byte character: the 21-byte field cuts it.
        {"abcdefghijklmnopqrs\xE6\x91", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        const TMsg m = Body64(Header(1, {64, 0, 0, 0}), c.name);
        TDevInfo r;
        ASSERT_TRUE(ParseMoiReply(m.View(), r));
        EXPECT_EQ(r.name, c.kept ? std::string(c.name) : std::string());
        EXPECT_EQ(r.ip, "192.168.1.20");
    }
}

TEST(ParseMoiReply, WrongCommandOrBodyLengthIsRejected) {
    struct Case {
        std::uint8_t command;
        std::initializer_list<std::uint8_t> length;
    };
    const Case cases[] = {
        {0, {64, 0, 0, 0}}, {2, {64, 0, 0, 0}},  {1, {63, 0, 0, 0}},
        {1, {66, 0, 0, 0}}, {1, {194, 0, 0, 0}}, {1, {196, 0, 0, 0}},
        {1, {64, 0, 0, 1}}, {1, {0, 64, 0, 0}},  {1, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const TMsg m = Body64(Header(c.command, c.length));
        TDevInfo r;
        EXPECT_FALSE(ParseMoiReply(m.View(), r));
        EXPECT_EQ(r, TDevInfo{});
    }
    TMsg highCommandByte = Body64(Header(1, {64, 0, 0, 0}));
    highCommandByte.bytes[5] = 1; // command 0x0101
    TDevInfo r;
    EXPECT_FALSE(ParseMoiReply(highCommandByte.View(), r));
    EXPECT_FALSE(ParseMoiReply("MO_I", r));
}

TEST(ParseMoiReply, ShortDatagramsReadZerosPastTheirEnd) {
    TMsg m = Header(1, {195, 0, 0, 0});
    m.Text("00112233", 8);
    TDevInfo r;
    ASSERT_TRUE(ParseMoiReply(m.View(), r));
    EXPECT_EQ(r.mac, "00112233");
    EXPECT_EQ(r.name, "");
    EXPECT_EQ(r.ip, "0.0.0.0");
    EXPECT_EQ(r.version, "0.0.0.0:0.0.0.0");
    EXPECT_EQ(r.httpPort, 0);
    EXPECT_EQ(r.ipMode, 2);
}

TEST(MoiQuery, TwentySevenBytes) {
    const TBytes expected = {'M', 'O', '_', 'I', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             0,   4,   0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(BuildMoiQuery(), expected);
    TRecordingSender sender;
    EXPECT_TRUE(SendMoiQuery(sender, 10000));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].bytes, expected);
    EXPECT_EQ(sender.Sent()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Sent()[0].port, 10000);

    TRecordingSender failing;
    failing.FailAll();
    EXPECT_TRUE(SendMoiQuery(failing, 10000));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_TRUE(SendMoiQuery(throwing, 10000));
}

TDevInfo EditedMoi() {
    TDevInfo r;
    r.family = kFamilyMoi;
    r.mac = "001A2B3C4D5E";
    r.ip = "192.168.1.300";
    r.mask = "255.255.255.0";
    r.gateway = "192.168.1.1";
    r.dns1 = "8.8.8.8";
    r.httpPort = 8080;
    return r;
}

TEST(SetMoiNetwork, EightyFourBytesWithTheAccountCut) {
    TMsg expected;
    expected.Text("MO_I", 4)
        .Raw({2, 0})
        .Zeros(9)
        .Raw({61, 0, 0, 0})
        .Zeros(4)
        .Zeros(4)
        .Text("001A2B3C4D5E", 13)
        .Text("admin", 13)
        .Text("1234567890123", 13) // the 14th character is cut
        .Raw({192, 168, 1, 44})    // 300 keeps its low 8 bits
        .Raw({255, 255, 255, 0})
        .Raw({192, 168, 1, 1})
        .Raw({8, 8, 8, 8})
        .Raw({0x1F, 0x90});
    ASSERT_EQ(expected.bytes.size(), 84u);

    EXPECT_EQ(BuildMoiSetCommand(EditedMoi(), "admin", "12345678901234"), expected.bytes);
    TRecordingSender sender;
    EXPECT_TRUE(SetMoiNetwork(EditedMoi(), EditedMoi(), "admin", "12345678901234", sender, 1234));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].bytes, expected.bytes);
    EXPECT_EQ(sender.Log(), (std::vector<std::string>{"send 255.255.255.255:10000 84 bytes"}));
}

TEST(SetMoiNetwork, AlwaysEightyFourBytes) {
    TDevInfo edited = EditedMoi();
    edited.mac = "00:1A:2B:3C:4D:5E:FF";
    const auto longer = BuildMoiSetCommand(edited, std::string(40, 'u'), std::string(40, 'p'));
    ASSERT_TRUE(longer.has_value());
    EXPECT_EQ(longer->size(), 84u);
    EXPECT_EQ(std::string(longer->begin() + 27, longer->begin() + 40), "00:1A:2B:3C:4");
    const auto empty = BuildMoiSetCommand(edited, "", "");
    ASSERT_TRUE(empty.has_value());
    EXPECT_EQ(empty->size(), 84u);
}

TEST(SetMoiNetwork, AnAddressThatIsNotOneSendsNothing) {
    for (const char* bad : {"1.2.3", "", "a.b.c.d", "1.2..4"}) {
        SCOPED_TRACE(bad);
        TDevInfo edited = EditedMoi();
        edited.gateway = bad;
        EXPECT_FALSE(BuildMoiSetCommand(edited, "admin", "").has_value());
        TRecordingSender sender;
        EXPECT_FALSE(SetMoiNetwork(edited, edited, "admin", "", sender, 10000));
        EXPECT_TRUE(sender.Events().empty());
    }
    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SetMoiNetwork(EditedMoi(), EditedMoi(), "admin", "", failing, 10000));
}

TEST(DottedToBytes, PartsAsIntegers) {
    using A = std::array<std::uint8_t, 4>;
    EXPECT_EQ(DottedToBytes("10.0.0.1"), (A{10, 0, 0, 1}));
    EXPECT_EQ(DottedToBytes("192.168.1.300"), (A{192, 168, 1, 44}));
    EXPECT_EQ(DottedToBytes(" 1.-1.+2.3"), (A{1, 255, 2, 3}));
    EXPECT_EQ(DottedToBytes("1.2.3.4.junk"), (A{1, 2, 3, 4}));
    EXPECT_EQ(DottedToBytes("1.2.3"), std::nullopt);
    EXPECT_EQ(DottedToBytes("1.2.3.4 "), std::nullopt);
    EXPECT_EQ(DottedToBytes("1.2.3.x"), std::nullopt);
}

TEST(IsWellFormedUtf8, Boundaries) {
    EXPECT_TRUE(IsWellFormedUtf8(""));
    EXPECT_TRUE(IsWellFormedUtf8("\x7F"));
    EXPECT_TRUE(IsWellFormedUtf8("\xC2\x80"));
    EXPECT_FALSE(IsWellFormedUtf8("\xC1\xBF"));
    EXPECT_TRUE(IsWellFormedUtf8("\xE0\xA0\x80"));
    EXPECT_FALSE(IsWellFormedUtf8("\xE0\x9F\xBF"));
    EXPECT_TRUE(IsWellFormedUtf8("\xED\x9F\xBF"));
    EXPECT_TRUE(IsWellFormedUtf8("\xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(IsWellFormedUtf8("\xF4\x90\x80\x80"));
    EXPECT_FALSE(IsWellFormedUtf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(IsWellFormedUtf8("\xE6\x91\x41"));
    EXPECT_FALSE(IsWellFormedUtf8("\xFF"));
}

} // namespace
} // namespace zadari
