#include "protocols/Kt352.h"

#include "protocols/RecordingSender.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace zadari {
namespace {

// Test messages are written item by item: tag, length byte, value bytes.
struct TMsg {
    TBytes bytes;

    explicit TMsg(std::string_view magic = "KT352") : bytes(magic.begin(), magic.end()) {}
    TMsg& Item(std::uint8_t tag, std::uint8_t length, std::initializer_list<std::uint8_t> value) {
        bytes.push_back(tag);
        bytes.push_back(length);
        bytes.insert(bytes.end(), value);
        return *this;
    }
    // A text value NUL-padded to `width` bytes.
    TMsg& Text(std::uint8_t tag, std::uint8_t length, std::string_view text, std::size_t width) {
        bytes.push_back(tag);
        bytes.push_back(length);
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.insert(bytes.end(), width - text.size(), 0);
        return *this;
    }
    TMsg& Raw(std::initializer_list<std::uint8_t> raw) {
        bytes.insert(bytes.end(), raw);
        return *this;
    }
    TMsg& PadTo(std::size_t size) {
        bytes.resize(size, 0);
        return *this;
    }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
};

TEST(Kt352Query, LayoutOfTheTwoHundredFiftySixBytes) {
    TMsg expected;
    expected.Raw({0x10, 6, 0, 0, 0, 0, 0, 0})
        .Raw({0x20, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .Raw({0x21, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .Raw({0x11, 4, 0, 0, 0, 0})
        .Raw({0x12, 4, 0, 0, 0, 0})
        .Raw({0x13, 4, 0, 0, 0, 0})
        .Raw({0x14, 4, 0, 0, 0, 0})
        .Raw({0x1F, 4, 0, 0, 0, 0})
        .Raw({0x22, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .Raw({0x23, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .Raw({0x24, 4, 0, 0, 0, 0})
        .Raw({0x28, 4, 0, 0, 0, 0})
        .Raw({0x25, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
              0,    0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .Raw({0x26, 1, 0});
    ASSERT_EQ(expected.bytes.size(), 162u);
    expected.PadTo(256);

    const TBytes query = BuildKt352Query();
    ASSERT_EQ(query.size(), 256u);
    EXPECT_EQ(query, expected.bytes);
    EXPECT_EQ(query[5], 0x10);
    EXPECT_EQ(query[6], 6);
    EXPECT_EQ(query[13], 0x20);
    EXPECT_EQ(query[159], 0x26);
    EXPECT_EQ(query[160], 1);
    EXPECT_EQ(query[161], 0);

    TRecordingSender sender;
    EXPECT_TRUE(SendKt352Query(sender, 4000));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].bytes, expected.bytes);
    EXPECT_EQ(sender.Sent()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Sent()[0].port, 4000);
}

TEST(Kt352Query, FailedSendIsSwallowedAndReported) {
    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SendKt352Query(failing, 4000));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SendKt352Query(throwing, 4000));
}

TMsg FullReply() {
    TMsg m;
    m.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Text(0x20, 16, "cam1", 16)
        .Item(0x11, 4, {192, 168, 1, 20})
        .Item(0x12, 4, {255, 255, 255, 0})
        .Item(0x13, 4, {192, 168, 1, 1})
        .Item(0x14, 4, {0x90, 0x1F, 0x00, 0x00})
        .Item(0x1F, 4, {0xFF, 0xFF, 0x01, 0x01})
        .Text(0x21, 16, "V3.1.2", 16)
        .Text(0x22, 16, "duser", 16)
        .Text(0x23, 16, "dpass", 16)
        .Item(0x24, 4, {8, 8, 8, 8})
        .Item(0x28, 4, {8, 8, 4, 4})
        .Text(0x25, 30, "ddns.example", 30)
        .Item(0x26, 1, {5})
        .Raw({0});
    return m;
}

void ExpectFull(const TDevInfo& r) {
    EXPECT_EQ(r.family, kFamilyKt352);
    EXPECT_EQ(r.mac, "001A2B3C4D5E");
    EXPECT_EQ(r.macKey, "001A2B3C4D5E");
    EXPECT_EQ(r.name, "cam1");
    EXPECT_EQ(r.ip, "192.168.1.20");
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.gateway, "192.168.1.1");
    EXPECT_EQ(r.httpPort, 8080);
    EXPECT_EQ(r.ipMode, 1);
    EXPECT_EQ(r.version, "V3.1.2");
    EXPECT_EQ(r.ddnsUser, "duser");
    EXPECT_EQ(r.ddnsPassword, "dpass");
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.dns2, "8.8.4.4");
    EXPECT_EQ(r.ddnsHost, "ddns.example");
    EXPECT_EQ(r.ddnsOption, 5);
}

TEST(ParseKt352Reply, ReadsEveryItem) {
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(FullReply().View(), r));
    ExpectFull(r);
}

TEST(ParseKt352Reply, ItemOrderDoesNotMatter) {
    TMsg m;
    m.Item(0x26, 1, {5})
        .Text(0x25, 30, "ddns.example", 30)
        .Item(0x28, 4, {8, 8, 4, 4})
        .Item(0x24, 4, {8, 8, 8, 8})
        .Text(0x23, 16, "dpass", 16)
        .Text(0x22, 16, "duser", 16)
        .Text(0x21, 16, "V3.1.2", 16)
        .Item(0x1F, 4, {0xFF, 0xFF, 0x01, 0x01})
        .Item(0x14, 4, {0x90, 0x1F, 0x00, 0x00})
        .Item(0x13, 4, {192, 168, 1, 1})
        .Item(0x12, 4, {255, 255, 255, 0})
        .Item(0x11, 4, {192, 168, 1, 20})
        .Text(0x20, 16, "cam1", 16)
        .Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .PadTo(256);
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(m.View(), r));
    ExpectFull(r);
}

TEST(ParseKt352Reply, TextsAreCutAtTheirFixedWidthAndTheWalkFollowsTheLengthByte) {
    TMsg m;
    m.Text(0x20, 20, "ABCDEFGHIJKLMNOPQRST", 20).Item(0x11, 4, {10, 0, 0, 7}).Raw({0});
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(m.View(), r));
    EXPECT_EQ(r.name, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(r.ip, "10.0.0.7"); // 22 bytes after the name item
}

TEST(ParseKt352Reply, ShortLengthBytesStillReadTheFixedWidth) {
    // A name item that claims two bytes: the name reads on into the next item's bytes, and the
    // walk continues two bytes further.
    TMsg m;
    m.Item(0x20, 2, {'a', 'b'}).Item(0x11, 4, {10, 0, 0, 7}).PadTo(64);
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(m.View(), r));
    EXPECT_EQ(r.name, std::string("ab\x11\x04\x0A", 5));
    EXPECT_EQ(r.ip, "10.0.0.7");
}

TEST(ParseKt352Reply, PortIsLittleEndianFromTheFirstTwoBytes) {
    TMsg m;
    m.Item(0x14, 4, {0x50, 0x00, 0xAA, 0xBB});
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(m.View(), r));
    EXPECT_EQ(r.httpPort, 80);
}

TEST(ParseKt352Reply, AssignmentItem) {
    struct Case {
        std::initializer_list<std::uint8_t> value;
        int mode;
    };
    const Case cases[] = {
        {{0x01, 0x01, 0xFF, 0xFF}, 0}, {{0xFF, 0xFF, 0x01, 0x01}, 1}, {{0xFF, 0xFF, 0xFF, 0xFF}, 2},
        {{0x01, 0x00, 0x01, 0x00}, 0}, {{0x00, 0x00, 0x01, 0x00}, 1}, {{0x02, 0x01, 0x00, 0x01}, 2},
    };
    for (const auto& c : cases) {
        TMsg m;
        m.Item(0x1F, 4, c.value);
        TDevInfo r;
        ASSERT_TRUE(ParseKt352Reply(m.View(), r));
        EXPECT_EQ(r.ipMode, c.mode);
    }
}

TEST(ParseKt352Reply, MagicAloneIsAcceptedAndLeavesFieldsCleared) {
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply("KT352", r));
    TDevInfo expected;
    expected.family = kFamilyKt352;
    EXPECT_EQ(r, expected); // ipMode stays 0 without an assignment item
}

TEST(ParseKt352Reply, WithoutTheMagicNothingIsFilled) {
    for (std::string_view text : {std::string_view("KT35"), std::string_view("kt352\x10\x06"),
                                  std::string_view(""), std::string_view("XKT352")}) {
        TDevInfo r;
        EXPECT_FALSE(ParseKt352Reply(text, r));
        EXPECT_EQ(r, TDevInfo{});
    }
}

TEST(ParseKt352Reply, StopConditionsOfTheWalk) {
    // A zero tag ends the items.
    TMsg ended;
    ended.Item(0x11, 4, {1, 2, 3, 4}).Raw({0x00, 0x04}).Item(0x12, 4, {255, 0, 0, 0});
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(ended.View(), r));
    EXPECT_EQ(r.ip, "1.2.3.4");
    EXPECT_EQ(r.mask, "");

    // Unknown tags are skipped by their length byte.
    TMsg unknown;
    unknown.Item(0x77, 3, {9, 9, 9}).Item(0x11, 4, {1, 2, 3, 4});
    TDevInfo s;
    ASSERT_TRUE(ParseKt352Reply(unknown.View(), s));
    EXPECT_EQ(s.ip, "1.2.3.4");

    // A length byte that jumps past the end ends the walk; a lone tag byte is not an item.
    TMsg jump;
    jump.Item(0x77, 0xFF, {1}).Raw({0x11});
    TDevInfo t;
    ASSERT_TRUE(ParseKt352Reply(jump.View(), t));
    EXPECT_EQ(t.ip, "");
}

TEST(ParseKt352Reply, AnItemCutOffByTheEndIsSkipped) {
    // The address item has two of its four value bytes; the MAC before it is read.
    TMsg m;
    m.Item(0x10, 6, {1, 2, 3, 4, 5, 6}).Item(0x11, 4, {10, 0});
    TDevInfo r;
    ASSERT_TRUE(ParseKt352Reply(m.View(), r));
    EXPECT_EQ(r.mac, "010203040506");
    EXPECT_EQ(r.ip, "");

    // A text item is skipped too when its sixteen bytes do not all lie in the datagram, even
    // if its text ends earlier; an item after it whose value fits is still read.
    TMsg name;
    name.Item(0x20, 3, {'a', 'b', 0}).Item(0x26, 1, {7});
    TDevInfo s;
    ASSERT_TRUE(ParseKt352Reply(name.View(), s));
    EXPECT_EQ(s.name, "");
    EXPECT_EQ(s.ddnsOption, 7);

    // The last byte of the datagram ends a value exactly: it is read.
    TMsg exact;
    exact.Item(0x11, 4, {10, 0, 0, 9});
    TDevInfo t;
    ASSERT_TRUE(ParseKt352Reply(exact.View(), t));
    EXPECT_EQ(t.ip, "10.0.0.9");
}

TDevInfo ListedKt352() {
    TDevInfo r;
    r.family = kFamilyKt352;
    r.mac = "001A2B3C4D5E";
    r.name = "cam1";
    r.ip = "192.168.1.20";
    r.mask = "255.255.255.0";
    r.gateway = "192.168.1.1";
    r.httpPort = 80;
    r.ddnsUser = "du";
    r.ddnsHost = "dh";
    r.ddnsOption = 1;
    r.ddnsPassword = "dp";
    r.dns1 = "8.8.8.8";
    r.dns2 = "8.8.4.4";
    r.ipMode = 2;
    return r;
}

TEST(SetKt352Network, CaseOnlyNameChangeSendsNothing) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    edited.name = "Cam1";
    EXPECT_FALSE(BuildKt352SetCommand(listed, edited).has_value());
    TRecordingSender sender;
    EXPECT_FALSE(SetKt352Network(listed, edited, sender, 4000));
    EXPECT_TRUE(sender.Events().empty());
    EXPECT_FALSE(SetKt352Network(listed, listed, sender, 4000));
    EXPECT_TRUE(sender.Events().empty());
}

TEST(SetKt352Network, PortChangeSendsTargetPortAndAssignment) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    edited.httpPort = 8080;
    TMsg expected;
    expected.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Item(0x14, 4, {'8', '0', '8', '0'})
        .Item(0x1F, 4, {0xFF, 0xFF, 0xFF, 0xFF})
        .PadTo(256);
    TRecordingSender sender;
    EXPECT_TRUE(SetKt352Network(listed, edited, sender, 4000));
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].bytes, expected.bytes);
    EXPECT_EQ(sender.Log(),
              (std::vector<std::string>{"pause 10", "send 255.255.255.255:4000 256 bytes"}));
}

TEST(SetKt352Network, PortTextIsCutToFourCharacters) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    struct Case {
        std::uint16_t port;
        std::initializer_list<std::uint8_t> value;
    };
    const Case cases[] = {
        {81, {'8', '1', 0, 0}}, {12345, {'1', '2', '3', '4'}}, {0, {'0', 0, 0, 0}}};
    for (const auto& c : cases) {
        edited.httpPort = c.port;
        TMsg expected;
        expected.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
            .Item(0x14, 4, c.value)
            .Item(0x1F, 4, {0xFF, 0xFF, 0xFF, 0xFF})
            .PadTo(256);
        EXPECT_EQ(BuildKt352SetCommand(listed, edited), expected.bytes);
    }
}

TEST(SetKt352Network, ANewFiveDigitPortIsRefusedRatherThanCut) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    edited.httpPort = 10080;
    TRecordingSender sender;
    EXPECT_FALSE(Kt352CanCarryPort(listed, edited));
    EXPECT_FALSE(SetKt352Network(listed, edited, sender, 4000));
    EXPECT_TRUE(sender.Events().empty());
    edited.httpPort = 9999;
    EXPECT_TRUE(SetKt352Network(listed, edited, sender, 4000));
    // A device already listed on a five-digit port can still get its other settings.
    TDevInfo highListed = listed;
    highListed.httpPort = 20000;
    TDevInfo renamed = highListed;
    renamed.name = "Door";
    EXPECT_TRUE(Kt352CanCarryPort(highListed, renamed));
}

TEST(SetKt352Network, AssignmentOnlyChange) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    edited.ipMode = 1;
    TMsg expected;
    expected.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Item(0x1F, 4, {0xFF, 0xFF, 0x01, 0x01})
        .PadTo(256);
    EXPECT_EQ(BuildKt352SetCommand(listed, edited), expected.bytes);
    edited.ipMode = 0;
    TMsg pppoe;
    pppoe.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Item(0x1F, 4, {0x01, 0x01, 0xFF, 0xFF})
        .PadTo(256);
    EXPECT_EQ(BuildKt352SetCommand(listed, edited), pppoe.bytes);
}

TEST(SetKt352Network, EveryItemInItsOrder) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    edited.mac = "001A2B3C4D5F";
    edited.name = "a name longer than sixteen";
    edited.ip = "10.0.0.2";
    edited.mask = "255.0.0.0";
    edited.gateway = "not an address";
    edited.httpPort = 65535;
    edited.ddnsUser = "user2";
    edited.ddnsHost = "host2";
    edited.ddnsOption = 0x1FF;
    edited.ddnsPassword = "pw2";
    edited.dns1 = "1.1.1.1";
    edited.dns2 = "9.9.9.9";
    edited.ipMode = 0;
    TMsg expected;
    expected.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5F})
        .Text(0x20, 16, "a name longer th", 16)
        .Item(0x11, 4, {10, 0, 0, 2})
        .Item(0x12, 4, {255, 0, 0, 0})
        .Item(0x13, 4, {0xFF, 0xFF, 0xFF, 0xFF})
        .Item(0x14, 4, {'6', '5', '5', '3'})
        .Text(0x22, 16, "user2", 16)
        .Text(0x25, 30, "host2", 30)
        .Item(0x26, 1, {0xFF})
        .Text(0x23, 16, "pw2", 16)
        .Item(0x24, 4, {1, 1, 1, 1})
        .Item(0x28, 4, {9, 9, 9, 9})
        .Item(0x1F, 4, {0x01, 0x01, 0xFF, 0xFF})
        .PadTo(256);
    EXPECT_EQ(BuildKt352SetCommand(listed, edited), expected.bytes);
}

TEST(SetKt352Network, MacItemNeedsAnExactChangeOfAtLeastSixCharacters) {
    const TDevInfo listed = ListedKt352();
    TDevInfo edited = listed;
    edited.mac = "00:1A";
    EXPECT_FALSE(BuildKt352SetCommand(listed, edited).has_value());
    edited.mac = "001a2b3c4d5e"; // differs only in case: still a change of the exact text
    TMsg expected;
    expected.Item(0x10, 6, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Item(0x10, 6,
              {0x00, 1 * 16 + 42, 2 * 16 + 43, 3 * 16 + 44, 4 * 16 + 45,
               5 * 16 + 46}) // 'a' counts 42
        .Item(0x1F, 4, {0xFF, 0xFF, 0xFF, 0xFF})
        .PadTo(256);
    EXPECT_EQ(BuildKt352SetCommand(listed, edited), expected.bytes);
}

TEST(SetKt352Network, AFailedSendIsNotApplied) {
    TDevInfo edited = ListedKt352();
    edited.ip = "192.168.1.21";
    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SetKt352Network(ListedKt352(), edited, failing, 4000));
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_FALSE(SetKt352Network(ListedKt352(), edited, throwing, 4000));
    EXPECT_EQ(throwing.Attempts().size(), 1u);
}

TEST(InetAddrBytes, ClassicAddressForms) {
    using A = std::array<std::uint8_t, 4>;
    const A none = {0xFF, 0xFF, 0xFF, 0xFF};
    struct Case {
        const char* text;
        A bytes;
    };
    const Case cases[] = {
        {"192.168.1.20", {192, 168, 1, 20}},
        {"0.0.0.0", {0, 0, 0, 0}},
        {"1.2.3", {1, 2, 0, 3}},
        {"1.16777215", {1, 0xFF, 0xFF, 0xFF}},
        {"3232235796", {192, 168, 1, 20}},
        {"0x7f.1", {0x7F, 0, 0, 1}},
        {"010.0.0.1", {8, 0, 0, 1}},
        {"1.2.3.4 ", {1, 2, 3, 4}},
        {"", none},
        {" 1.2.3.4", none},
        {"1.2.3.4x", none},
        {"256.1.1.1", none},
        {"1.2.3.256", none},
        {"1.2.3.4.5", none},
        {"09.1.1.1", none},
        {"1..2.3", none},
        {"1.2.3.", none},
        {"4294967296", none},
        {"abc", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(InetAddrBytes(c.text), c.bytes);
    }
}

} // namespace
} // namespace zadari
