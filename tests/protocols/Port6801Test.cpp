#include "protocols/Port6801.h"

#include "RecordingSender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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
/// Bytes 0..n-1 numbered 0, 1, 2, ... (mod 256) so that any moved byte shows.
TBytes Numbered(std::size_t n) {
    TBytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i);
    return b;
}

/// A 0x8F12 settings message written from the layout: block at 8, version at 136.
TBytes SettingsMessage(std::string_view version, std::uint8_t dynamicFlag = 1) {
    TBytes b(136 + version.size() + 1, 0);
    Put(b, 0, {0x10, 0x10, 0x12, 0x8F, 0xAB, 0xCD, 0x80, 0x00});
    PutText(b, 8, "192.168.0.77");
    PutText(b, 24, "255.255.255.0");
    PutText(b, 40, "192.168.0.1");
    PutText(b, 56, "192.168.0.2");
    PutText(b, 72, "0123456789abcdef"); // fills its 16 bytes, no NUL
    Put(b, 88, {0x50, 0x00});           // 80
    Put(b, 90, {0x99, 0x99});
    Put(b, 92, {0x98, 0x98});
    Put(b, 94, {0x88, 0x13}); // 5000
    Put(b, 96, {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A});
    Put(b, 102, {0x34, 0x12});
    Put(b, 104, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xAB});
    Put(b, 111, {dynamicFlag});
    PutText(b, 112, "Caf\xC3\xA9 cam");
    PutText(b, 136, version);
    return b;
}

struct TFixture {
    TRecordingSender sender;
    std::map<std::string, TDevInfo> rows;
    TDispatchContext context{&sender, [this](const std::string& mac) -> const TDevInfo* {
                                 const auto it = rows.find(mac);
                                 return it == rows.end() ? nullptr : &it->second;
                             }};
};

TEST(Bin6801Search, EightBytesToPort6801) {
    EXPECT_EQ(Build6801Search(), (TBytes{0x10, 0x10, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00}));
    TRecordingSender sender;
    EXPECT_TRUE(SendBin6801Search(sender, 6801));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].bytes, (TBytes{0x10, 0x10, 0x01, 0x0F, 0, 0, 0, 0}));
    EXPECT_EQ(sender.Attempts()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Attempts()[0].port, 6801);
    TRecordingSender throwing;
    throwing.ThrowFrom(0);
    EXPECT_TRUE(SendBin6801Search(throwing));
}

TEST(Handle6801Message, FirstAnswerIsRepliedWith0x0F12AndListsNothing) {
    TBytes msg = Numbered(200);
    Put(msg, 0, {0x10, 0x10, 0x01, 0x8F, 0x5A, 0xA5, 0x33, 0x44});
    TFixture f;
    TDevInfo record;
    EXPECT_FALSE(Handle6801Message(AsText(msg), record, f.context));
    EXPECT_EQ(record, TDevInfo{});
    ASSERT_EQ(f.sender.Attempts().size(), 1u);
    const auto& answer = f.sender.Attempts()[0];
    EXPECT_EQ(answer.address, "255.255.255.255");
    EXPECT_EQ(answer.port, 6801);
    ASSERT_EQ(answer.bytes.size(), 136u);
    EXPECT_EQ(TBytes(answer.bytes.begin(), answer.bytes.begin() + 8),
              (TBytes{0x10, 0x10, 0x12, 0x0F, 0x5A, 0xA5, 0x80, 0x00}));
    EXPECT_EQ(TBytes(answer.bytes.begin() + 8, answer.bytes.end()),
              TBytes(msg.begin() + 12, msg.begin() + 140));
}

TEST(Handle6801Message, ShortFirstAnswerIsRepliedWithZerosWhereItEnds) {
    TBytes msg = Numbered(20);
    Put(msg, 0, {0x10, 0x10, 0x01, 0x8F, 0x01, 0x02, 0x00, 0x00});
    TFixture f;
    TDevInfo record;
    EXPECT_FALSE(Handle6801Message(AsText(msg), record, f.context));
    ASSERT_EQ(f.sender.Attempts().size(), 1u);
    const TBytes& answer = f.sender.Attempts()[0].bytes;
    ASSERT_EQ(answer.size(), 136u);
    EXPECT_EQ(TBytes(answer.begin() + 8, answer.begin() + 16),
              (TBytes{12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_TRUE(std::all_of(answer.begin() + 16, answer.end(), [](auto b) { return b == 0; }));
}

TEST(Handle6801Message, SettingsFillTheRecordAndAreAcknowledged) {
    const TBytes msg = SettingsMessage("10.2.1");
    TFixture f;
    TDevInfo r;
    r.protocolVersion = 7;
    EXPECT_TRUE(Handle6801Message(AsText(msg), r, f.context));
    EXPECT_EQ(r.family, 8);
    EXPECT_EQ(r.protocolVersion, 0);
    EXPECT_EQ(r.ip, "192.168.0.77");
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.gateway, "192.168.0.1");
    EXPECT_EQ(r.dns1, "192.168.0.2");
    EXPECT_EQ(r.dns2, "0123456789abcdef");
    EXPECT_EQ(r.httpPort, 80);
    EXPECT_EQ(r.dataPort, 5000);
    EXPECT_EQ(r.mac, "00123456789A");
    EXPECT_EQ(r.macKey, "00123456789A");
    EXPECT_EQ(r.binWord, 0x1234);
    EXPECT_EQ(r.deviceId, "010203040506AB");
    EXPECT_EQ(r.ipMode, 1);
    EXPECT_EQ(r.name, "Caf\xC3\xA9 cam");
    EXPECT_EQ(r.version, "10.2.1");

    ASSERT_EQ(f.sender.Attempts().size(), 1u);
    const auto& answer = f.sender.Attempts()[0];
    EXPECT_EQ(answer.port, 6801);
    EXPECT_EQ(answer.address, "255.255.255.255");
    ASSERT_EQ(answer.bytes.size(), 136u);
    EXPECT_EQ(TBytes(answer.bytes.begin(), answer.bytes.begin() + 8),
              (TBytes{0x10, 0x10, 0x0F, 0x0F, 0xAB, 0xCD, 0x80, 0x00}));
    EXPECT_EQ(TBytes(answer.bytes.begin() + 8, answer.bytes.end()),
              TBytes(msg.begin() + 8, msg.begin() + 136));
}

TEST(Handle6801Message, VersionFilter) {
    struct Case {
        const char* version;
        bool listed;
    };
    const Case cases[] = {{"10.2.1", true}, {"10.2", true}, {"0.5", true},
                          {"2.0.1", false}, {"9.1", false}, {"100.1", false},
                          {"10", false},    {"", false},    {"0", false}};
    for (const auto& c : cases) {
        const TBytes msg = SettingsMessage(c.version);
        TFixture f;
        TDevInfo r;
        EXPECT_EQ(Handle6801Message(AsText(msg), r, f.context), c.listed) << c.version;
        EXPECT_EQ(r.version, c.version);
        // The acknowledgement goes out whether the device is listed or not.
        EXPECT_EQ(f.sender.Attempts().size(), 1u) << c.version;
    }
}

TEST(Handle6801Message, SettingsFlagZeroGivesFixedMode) {
    const TBytes msg = SettingsMessage("0.1", 0);
    ASSERT_EQ(msg[111], 0);
    TFixture f;
    TDevInfo r;
    ASSERT_TRUE(Handle6801Message(AsText(msg), r, f.context));
    EXPECT_EQ(r.ipMode, 2);
}

TEST(Handle6801Message, IllFormedUtf8NameIsStoredEmpty) {
    const char* names[] = {"bad\xC3", "bad\xC3x", "\x80", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80"};
    for (const char* name : names) {
        TBytes msg = SettingsMessage("0.1");
        std::fill(msg.begin() + 112, msg.begin() + 136, 0);
        PutText(msg, 112, name);
        TFixture f;
        TDevInfo r;
        ASSERT_TRUE(Handle6801Message(AsText(msg), r, f.context));
        EXPECT_EQ(r.name, "") << name;
    }
}

TEST(Handle6801Message, NameFillingItsFieldEndsAtTheField) {
    TBytes msg = SettingsMessage("0.1");
    std::fill(msg.begin() + 112, msg.begin() + 136, 'n');
    TFixture f;
    TDevInfo r;
    ASSERT_TRUE(Handle6801Message(AsText(msg), r, f.context));
    EXPECT_EQ(r.name, std::string(24, 'n'));
    EXPECT_EQ(r.version, "0.1");
}

TEST(Handle6801Message, ShortSettingsReadZerosAndStillAnswer136Bytes) {
    TBytes msg(40, 0);
    Put(msg, 0, {0x10, 0x10, 0x12, 0x8F, 0x00, 0x00, 0x80, 0x00});
    PutText(msg, 8, "10.0.0.1");
    TFixture f;
    TDevInfo r;
    EXPECT_FALSE(Handle6801Message(AsText(msg), r, f.context)); // no version: not listed
    EXPECT_EQ(r.ip, "10.0.0.1");
    EXPECT_EQ(r.mac, "000000000000");
    EXPECT_EQ(r.version, "");
    ASSERT_EQ(f.sender.Attempts().size(), 1u);
    EXPECT_EQ(f.sender.Attempts()[0].bytes.size(), 136u);
}

TEST(Handle6801Message, SettingsStillListedWhenTheAnswerCannotBeSent) {
    const TBytes msg = SettingsMessage("0.9");
    TFixture f;
    f.sender.ThrowFrom(0);
    TDevInfo r;
    EXPECT_TRUE(Handle6801Message(AsText(msg), r, f.context));
    EXPECT_EQ(r.version, "0.9");

    TDispatchContext noSender;
    TDevInfo s;
    EXPECT_TRUE(Handle6801Message(AsText(msg), s, noSender));
    EXPECT_EQ(s.ip, "192.168.0.77");
}

TBytes DdnsMessage() {
    TBytes b(400, 0);
    Put(b, 0, {0x10, 0x10, 0x0F, 0x8F, 0, 0, 0, 0});
    Put(b, 96, {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A});
    PutText(b, 142, "ddns.example.org:8245");
    PutText(b, 272, "ann");
    PutText(b, 336, "s3cret");
    return b;
}

TEST(Handle6801Message, DdnsUpdatesACopyOfTheListedRow) {
    TFixture f;
    TDevInfo row;
    row.family = 8;
    row.mac = "00123456789A";
    row.name = "listed";
    row.ip = "192.168.0.77";
    row.ddnsHost = "old";
    row.age = 4;
    f.rows[row.mac] = row;
    const TBytes msg = DdnsMessage();
    TDevInfo r;
    EXPECT_TRUE(Handle6801Message(AsText(msg), r, f.context));
    TDevInfo expected = row;
    expected.ddnsHost = "ddns.example.org:8245";
    expected.ddnsUser = "ann";
    expected.ddnsPassword = "s3cret";
    EXPECT_EQ(r, expected);
    EXPECT_EQ(f.rows["00123456789A"].ddnsHost, "old"); // the row itself is the merge's business
    EXPECT_TRUE(f.sender.Attempts().empty());
}

TEST(Handle6801Message, DdnsForAnUnknownMacChangesNothing) {
    TFixture f;
    TDevInfo other;
    other.mac = "00123456789B";
    f.rows[other.mac] = other;
    const TBytes msg = DdnsMessage();
    TDevInfo r;
    EXPECT_FALSE(Handle6801Message(AsText(msg), r, f.context));
    EXPECT_EQ(r, TDevInfo{});
    EXPECT_TRUE(f.sender.Attempts().empty());

    TDispatchContext noLookup;
    EXPECT_FALSE(Handle6801Message(AsText(msg), r, noLookup));
}

TEST(Parse6801Ddns, TextsEndAtTheNextFieldOrTheDatagram) {
    TBytes msg(340, 'x');
    Put(msg, 0, {0x10, 0x10, 0x0F, 0x8F, 0, 0, 0, 0});
    T6801Ddns ddns;
    ASSERT_TRUE(Parse6801Ddns(AsText(msg), ddns));
    EXPECT_EQ(ddns.mac, "787878787878");
    EXPECT_EQ(ddns.host, std::string(130, 'x'));
    EXPECT_EQ(ddns.user, std::string(64, 'x'));
    EXPECT_EQ(ddns.password, std::string(4, 'x'));

    TBytes tiny = {0x10, 0x10, 0x0F, 0x8F};
    ASSERT_TRUE(Parse6801Ddns(AsText(tiny), ddns));
    EXPECT_EQ(ddns.mac, "000000000000");
    EXPECT_EQ(ddns.host, "");
    EXPECT_EQ(ddns.password, "");
}

TEST(Handle6801Message, IncompleteOrOtherMessagesAreIgnored) {
    const TBytes cases[] = {
        {0x10, 0x10},
        {0x10, 0x10, 0x01},       // code incomplete
        {0x10, 0x10, 0x12},       // code incomplete
        {0x10, 0x10, 0x01, 0x0F}, // our own search, looped back
        {0x10, 0x10, 0x02, 0x0F, 0, 0, 0, 1},
        {0x10, 0x10, 0x01, 0x8E},
        {0x10, 0x11, 0x01, 0x8F},
    };
    for (const auto& msg : cases) {
        TFixture f;
        TDevInfo r;
        EXPECT_FALSE(Handle6801Message(AsText(msg), r, f.context));
        EXPECT_EQ(r, TDevInfo{});
        EXPECT_TRUE(f.sender.Attempts().empty());
    }
}

// --- the 0x0F02 command ---------------------------------------------------------------------

TDevInfo Listed6801() {
    TDevInfo r;
    r.family = 8;
    r.ip = "192.168.0.77";
    r.mask = "255.255.255.0";
    r.gateway = "192.168.0.1";
    r.dns1 = "192.168.0.2";
    r.dns2 = "";
    r.httpPort = 80;
    r.dataPort = 5000;
    r.mac = "00123456789A";
    r.binWord = 0x1234;
    r.deviceId = "010203040506AB";
    r.ipMode = 2;
    r.name = "cam";
    return r;
}

TEST(Bin6801SetCommand, HeaderAndBothBlocks) {
    const TDevInfo listed = Listed6801();
    TDevInfo edited = listed;
    edited.ip = "10.0.0.9";
    edited.httpPort = 8080;
    edited.name = "yard";
    const TBytes cmd = Build6801SetCommand(listed, edited);
    ASSERT_EQ(cmd.size(), 264u);
    EXPECT_EQ(TBytes(cmd.begin(), cmd.begin() + 8),
              (TBytes{0x10, 0x10, 0x02, 0x0F, 0x00, 0x00, 0x00, 0x01}));

    TBytes first(128, 0);
    PutText(first, 0, "192.168.0.77");
    PutText(first, 16, "255.255.255.0");
    PutText(first, 32, "192.168.0.1");
    PutText(first, 48, "192.168.0.2");
    Put(first, 80, {0x50, 0x00, 0x50, 0x00, 0x50, 0x00, 0x88, 0x13});
    Put(first, 88, {0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0x34, 0x12});
    Put(first, 96, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xAB, 0x02});
    PutText(first, 104, "cam");
    EXPECT_EQ(TBytes(cmd.begin() + 8, cmd.begin() + 136), first);

    TBytes second = first;
    std::fill(second.begin(), second.begin() + 16, 0);
    PutText(second, 0, "10.0.0.9");
    Put(second, 80, {0x90, 0x1F, 0x90, 0x1F, 0x90, 0x1F});
    second[103] = 0x00;
    std::fill(second.begin() + 104, second.end(), 0);
    PutText(second, 104, "yard");
    EXPECT_EQ(TBytes(cmd.begin() + 136, cmd.end()), second);
}

TEST(Bin6801SetCommand, Byte103OfBothBlocks) {
    struct Case {
        int listedMode;
        int editedMode;
        std::uint8_t first;
        std::uint8_t second;
    };
    const Case cases[] = {{2, 2, 2, 0}, {2, 1, 2, 1}, {1, 2, 1, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}};
    for (const auto& c : cases) {
        TDevInfo listed = Listed6801();
        listed.ipMode = static_cast<std::uint8_t>(c.listedMode);
        TDevInfo edited = listed;
        edited.ipMode = static_cast<std::uint8_t>(c.editedMode);
        const TBytes cmd = Build6801SetCommand(listed, edited);
        EXPECT_EQ(cmd[8 + 103], c.first) << c.listedMode << "->" << c.editedMode;
        EXPECT_EQ(cmd[136 + 103], c.second) << c.listedMode << "->" << c.editedMode;
    }
}

TEST(Bin6801SetCommand, LongTextsAreCutToTheirFields) {
    TDevInfo edited = Listed6801();
    edited.ip = "123456789012345678";
    edited.name = std::string(30, 'n');
    const TBytes cmd = Build6801SetCommand(Listed6801(), edited);
    EXPECT_EQ(AsText(cmd).substr(136, 16), "1234567890123456");
    EXPECT_EQ(AsText(cmd).substr(136 + 104, 24), std::string(23, 'n') + '\0');

    // 11 two-byte characters are 22 bytes; a 12th would straddle the 23-byte limit.
    std::string utf8;
    for (int i = 0; i < 12; ++i)
        utf8 += "\xC3\xA9";
    edited.name = utf8;
    const TBytes cut = Build6801SetCommand(Listed6801(), edited);
    EXPECT_EQ(AsText(cut).substr(136 + 104, 24), utf8.substr(0, 22) + std::string(2, '\0'));
}

TEST(SetBin6801Network, BroadcastsToPort6801AndReportsFailures) {
    TRecordingSender sender;
    EXPECT_TRUE(SetBin6801Network(Listed6801(), Listed6801(), sender, 6801));
    ASSERT_EQ(sender.Attempts().size(), 1u);
    EXPECT_EQ(sender.Attempts()[0].bytes.size(), 264u);
    EXPECT_EQ(sender.Attempts()[0].address, "255.255.255.255");
    EXPECT_EQ(sender.Attempts()[0].port, 6801);
    TRecordingSender failing;
    failing.FailAll();
    EXPECT_FALSE(SetBin6801Network(Listed6801(), Listed6801(), failing));
}

} // namespace
} // namespace zadari
