#include "protocols/Dispatch.h"

#include "protocols/CommaText.h"
#include "protocols/Ctp.h"
#include "protocols/Hds.h"
#include "protocols/Kt352.h"
#include "protocols/Moi.h"
#include "protocols/Port6801.h"
#include "protocols/RecordingSender.h"
#include "protocols/Uicam.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

using namespace std::string_literals;

TDevInfo Cleared() {
    return TDevInfo{}; // family -1, everything empty
}

bool Dispatch(std::string_view datagram, TDevInfo& record) {
    TDispatchContext context;
    return DispatchReply(datagram, record, context);
}

const std::string kPeltra = "PELTRAREPLY,x,001A2B3C4D5E,192.168.1.20,80,255.255.255.0,192.168.1.1,"
                            "cam,h,u,p,0,1,0,0,0,0,0,8.8.8.8,8.8.4.4";
const std::string kZorix = "ZORIXREPLY,x,001A2B3C4D5F,192.168.1.21,80,255.255.255.0,192.168.1.1,"
                           "cam,h,u,p,0,1,0,0,0,0,1";
const std::string kZorixNet = "ZORIXNETREPLY,x,001A2B3C4D60,192.168.1.22,80,255.255.255.0,"
                              "192.168.1.1,nas,h,u,p,0,1,0,1.1.1.1,2.2.2.2,V1";
const std::string kKt352 = "KT352\x11\x04\xC0\xA8\x01\x17\x00"s;

std::string MoiReply() {
    std::string m =
        "MO_I\x01\x00"s + std::string(9, '\0') + "\x40\x00\x00\x00"s + std::string(4, '\0');
    m += "001A2B3C4D61"s + std::string(1, '\0');
    m += "moi"s + std::string(18, '\0');
    m += "\xC0\xA8\x01\x18"s + std::string(24, '\0') + "\x00\x50"s;
    return m;
}

TEST(DispatchReply, EachCommaTextAndBinaryMagicReachesItsParser) {
    struct Case {
        std::string datagram;
        int family;
        const char* ip;
    };
    const Case cases[] = {
        {kKt352, kFamilyKt352, "192.168.1.23"},   {kPeltra, kFamilyPeltra, "192.168.1.20"},
        {kZorix, kFamilyZorix, "192.168.1.21"},   {kZorixNet, kFamilyZorixNet, "192.168.1.22"},
        {MoiReply(), kFamilyMoi, "192.168.1.24"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.family);
        TDevInfo r = Cleared();
        EXPECT_TRUE(Dispatch(c.datagram, r));
        EXPECT_EQ(r.family, c.family);
        EXPECT_EQ(r.ip, c.ip);
    }
}

TEST(DispatchReply, TheFirstMatchingMagicDecidesEvenWhenItsParserRejects) {
    // "PELTRAREPLY" followed by one more letter reaches the PELTRA parser, which rejects it.
    TDevInfo r = Cleared();
    EXPECT_FALSE(Dispatch("PELTRAREPLYX" + kPeltra.substr(11), r));
    EXPECT_EQ(r, Cleared());
    // Too few fields for ZORIXNET: rejected, and not tried as anything else.
    EXPECT_FALSE(Dispatch("ZORIXNETREPLY,x,1,2,3", r));
    EXPECT_EQ(r, Cleared());
    // A MO_I datagram with a wrong command.
    EXPECT_FALSE(Dispatch("MO_I\x02"s + std::string(30, '\0'), r));
    EXPECT_EQ(r, Cleared());
}

TEST(DispatchReply, MagicsAreComparedUpToTheFirstNul) {
    TDevInfo r = Cleared();
    EXPECT_FALSE(Dispatch("KT3\x00"
                          "52\x11\x04\x01\x02\x03\x04"s,
                          r));
    EXPECT_EQ(r, Cleared());
    // A NUL right after the magic does not stop the match, and the parser sees the whole
    // datagram with its NUL bytes.
    EXPECT_TRUE(Dispatch(kKt352, r));
    EXPECT_EQ(r.ip, "192.168.1.23");
    TDevInfo moi = Cleared();
    EXPECT_TRUE(Dispatch(MoiReply(), moi)); // NUL at byte 5
}

TEST(DispatchReply, CaseAndShortTextsDoNotMatch) {
    for (std::string_view text :
         {std::string_view("kt352"), std::string_view("KT35"), std::string_view("mo_i"),
          std::string_view("MO_"), std::string_view("REPL"), std::string_view("reply"),
          std::string_view("UIV2"), std::string_view("uiv"), std::string_view("HDS/1.0 200 O"),
          std::string_view(""), std::string_view("HDS/1.0 404 Not Found")}) {
        SCOPED_TRACE(std::string(text));
        TDevInfo r = Cleared();
        EXPECT_FALSE(Dispatch(text, r));
        EXPECT_EQ(r, Cleared());
    }
}

TEST(DispatchReply, EchoTextsAndOwnQueriesMatchNoMagic) {
    for (std::string_view text :
         {std::string_view("IPREPLY"), std::string_view("IPREPLYX"),
          std::string_view("IPREPLY\0", 8), std::string_view("IPREPLY192.168.1.20"),
          std::string_view("IPQUERY"), std::string_view("PELTRAQUERY,0"),
          std::string_view("ZORIXNETQUERY,0"), std::string_view("uicam query"),
          std::string_view("SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n"),
          std::string_view("SEARCH * HDS/1.0\r\nCSeq:1\r\n")}) {
        SCOPED_TRACE(std::string(text));
        TDevInfo r = Cleared();
        EXPECT_FALSE(Dispatch(text, r));
        EXPECT_EQ(r, Cleared());
    }
}

// The families whose parsers live in their own modules: dispatching gives exactly what the
// family's parser gives for the same datagram.
TEST(DispatchReply, TextAndUicamMagicsGoToTheirParsers) {
    struct Case {
        std::string datagram;
        bool (*parser)(std::string_view, TDevInfo&);
        int family;
    };
    const Case cases[] = {
        {"REPLY", ParseCtpReply, kFamilyCtp},
        {"REPLY\r\n-ip 192.168.1.30\r\n\r\n", ParseCtpReply, kFamilyCtp},
        {"REPLYX", ParseCtpReply, kFamilyCtp},
        {"HDS/1.0 200 OK\r\nIP=192.168.1.31\r\n\r\n", ParseHdsReply, kFamilyHds},
        {"uiv2" + std::string(516, '\0'), ParseUicamReply, kFamilyUicam},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.datagram.substr(0, 14));
        TDevInfo direct = Cleared();
        const bool accepted = c.parser(c.datagram, direct);
        TDevInfo r = Cleared();
        EXPECT_TRUE(accepted);
        EXPECT_EQ(Dispatch(c.datagram, r), accepted);
        EXPECT_EQ(r, direct);
        EXPECT_EQ(r.family, c.family);
    }
}

TEST(DispatchReply, FamilyEightNeedsThreeBytesStartingWithTwo0x10) {
    TRecordingSender sender;
    TDispatchContext context;
    context.sender6801 = &sender;
    context.findRowByMac = [](const std::string&) -> const TDevInfo* { return nullptr; };

    for (std::string_view text :
         {std::string_view("\x10\x10", 2), std::string_view("\x10", 1),
          std::string_view("\x10\x11\x01\x8F", 4), std::string_view("\x11\x10\x01\x8F", 4)}) {
        TDevInfo r = Cleared();
        EXPECT_FALSE(DispatchReply(text, r, context));
        EXPECT_EQ(r, Cleared());
    }
    EXPECT_TRUE(sender.Events().empty());

    // Three or more bytes go to the family-8 exchange, a NUL in byte 2 included.
    for (std::string_view text : {std::string_view("\x10\x10\x00", 3),
                                  std::string_view("\x10\x10\x01\x8F\x00\x00\x00\x00", 8),
                                  std::string_view("\x10\x10\x77\x77", 4)}) {
        TRecordingSender directSender;
        TDispatchContext directContext = context;
        directContext.sender6801 = &directSender;
        TDevInfo direct = Cleared();
        const bool accepted = Handle6801Message(text, direct, directContext);

        sender.Clear();
        TDevInfo r = Cleared();
        EXPECT_EQ(DispatchReply(text, r, context), accepted);
        EXPECT_EQ(r, direct);
        EXPECT_EQ(sender.Log(), directSender.Log());
    }
}

TEST(DispatchReply, TheFamilyEightExchangeAnswersThroughTheContextsSender) {
    // A device's first answer (code 0x8F01, 140 bytes) is answered, and gives no record.
    std::string first = "\x10\x10\x01\x8F\x12\x34\x84\x00"s;
    for (int i = 8; i < 140; ++i)
        first += static_cast<char>(i);
    TRecordingSender sender;
    TDispatchContext context;
    context.sender6801 = &sender;
    context.findRowByMac = [](const std::string&) -> const TDevInfo* { return nullptr; };
    TDevInfo r = Cleared();
    EXPECT_FALSE(DispatchReply(first, r, context));
    EXPECT_EQ(r, Cleared());
    ASSERT_EQ(sender.Sent().size(), 1u);
    EXPECT_EQ(sender.Sent()[0].port, 6801);
    EXPECT_EQ(sender.Sent()[0].bytes.size(), 136u);
}

} // namespace
} // namespace zadari
