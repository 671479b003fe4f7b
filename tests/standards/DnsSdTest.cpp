// Vectors: DNS messages written byte by byte from the message format of RFC 1035 (section 4,
// compression 4.1.4), with the records DNS-SD (RFC 6763) and multicast DNS (RFC 6762: the
// cache-flush bit, a one-shot answer repeating the question) use.
#include "standards/DnsSd.h"

#include <gtest/gtest.h>

#include <vector>

namespace zadari {
namespace {

// A one-shot answer to "_http._tcp.local PTR?" with ID 0x1234: the instance "Cam 1", its SRV,
// TXT and its host's A record. Offsets in the comments.
const TBytes kAnswer = {
    0x12,
    0x34,
    0x84,
    0x00,
    0x00,
    0x01,
    0x00,
    0x01,
    0x00,
    0x00,
    0x00,
    0x03, // header
    // 12: question _http._tcp.local PTR IN
    0x05,
    '_',
    'h',
    't',
    't',
    'p',
    0x04,
    '_',
    't',
    'c',
    'p',
    0x05,
    'l',
    'o',
    'c',
    'a',
    'l',
    0x00,
    0x00,
    0x0C,
    0x00,
    0x01,
    // 34: answer: _http._tcp.local PTR "Cam 1._http._tcp.local"
    0xC0,
    0x0C,
    0x00,
    0x0C,
    0x00,
    0x01,
    0x00,
    0x00,
    0x00,
    0x0A,
    0x00,
    0x08,
    0x05,
    'C',
    'a',
    'm',
    ' ',
    '1',
    0xC0,
    0x0C, // 46: the instance label
    // 54: SRV, cache-flush class: priority 0, weight 0, port 80, target cam1.local
    0xC0,
    0x2E,
    0x00,
    0x21,
    0x80,
    0x01,
    0x00,
    0x00,
    0x00,
    0x0A,
    0x00,
    0x0D,
    0x00,
    0x00,
    0x00,
    0x00,
    0x00,
    0x50,
    0x04,
    'c',
    'a',
    'm',
    '1',
    0xC0,
    0x17, // 72: cam1
    // 79: TXT "path=/" "macaddress=00:1a:2b:3c:4d:5e"
    0xC0,
    0x2E,
    0x00,
    0x10,
    0x80,
    0x01,
    0x00,
    0x00,
    0x00,
    0x0A,
    0x00,
    0x24,
    0x06,
    'p',
    'a',
    't',
    'h',
    '=',
    '/',
    0x1C,
    'm',
    'a',
    'c',
    'a',
    'd',
    'd',
    'r',
    'e',
    's',
    's',
    '=',
    '0',
    '0',
    ':',
    '1',
    'a',
    ':',
    '2',
    'b',
    ':',
    '3',
    'c',
    ':',
    '4',
    'd',
    ':',
    '5',
    'e',
    // 127: A cam1.local 192.168.1.20
    0xC0,
    0x48,
    0x00,
    0x01,
    0x80,
    0x01,
    0x00,
    0x00,
    0x00,
    0x78,
    0x00,
    0x04,
    0xC0,
    0xA8,
    0x01,
    0x14,
};

// The service type enumeration answered (RFC 6763 section 9), in upper case where DNS allows it.
const TBytes kEnumeration = {
    0x00,
    0x00,
    0x84,
    0x00,
    0x00,
    0x00,
    0x00,
    0x02,
    0x00,
    0x00,
    0x00,
    0x00,
    // 12: _services._dns-sd._udp.local PTR _axis-video._tcp.local
    0x09,
    '_',
    's',
    'e',
    'r',
    'v',
    'i',
    'c',
    'e',
    's',
    0x07,
    '_',
    'd',
    'n',
    's',
    '-',
    's',
    'd',
    0x04,
    '_',
    'u',
    'd',
    'p',
    0x05,
    'l',
    'o',
    'c',
    'a',
    'l',
    0x00, // 35: local
    0x00,
    0x0C,
    0x00,
    0x01,
    0x00,
    0x00,
    0x11,
    0x94,
    0x00,
    0x13,
    0x0B,
    '_',
    'a',
    'x',
    'i',
    's',
    '-',
    'v',
    'i',
    'd',
    'e',
    'o',
    0x04,
    '_',
    't',
    'c',
    'p',
    0xC0,
    0x23,
    // second answer: owner in capitals, _HTTP._TCP.local
    0x09,
    '_',
    'S',
    'E',
    'R',
    'V',
    'I',
    'C',
    'E',
    'S',
    0x07,
    '_',
    'D',
    'N',
    'S',
    '-',
    'S',
    'D',
    0x04,
    '_',
    'U',
    'D',
    'P',
    0xC0,
    0x23,
    0x00,
    0x0C,
    0x00,
    0x01,
    0x00,
    0x00,
    0x11,
    0x94,
    0x00,
    0x0D,
    0x05,
    '_',
    'H',
    'T',
    'T',
    'P',
    0x04,
    '_',
    'T',
    'C',
    'P',
    0xC0,
    0x23,
};

TEST(DnsSd, QueryHasOnePtrQuestionPerName) {
    const TBytes expected = {
        0xAB,
        0xCD,
        0x00,
        0x00,
        0x00,
        0x02,
        0x00,
        0x00,
        0x00,
        0x00,
        0x00,
        0x00,
        0x05,
        '_',
        'h',
        't',
        't',
        'p',
        0x04,
        '_',
        't',
        'c',
        'p',
        0x05,
        'l',
        'o',
        'c',
        'a',
        'l',
        0x00,
        0x00,
        0x0C,
        0x80,
        0x01, // PTR, IN with the
              // unicast-response bit
        0x06,
        '_',
        'o',
        'n',
        'v',
        'i',
        'f',
        0x04,
        '_',
        't',
        'c',
        'p',
        0x05,
        'l',
        'o',
        'c',
        'a',
        'l',
        0x00,
        0x00,
        0x0C,
        0x80,
        0x01,
    };
    EXPECT_EQ(BuildMdnsQuery(0xABCD, {"_http._tcp.local", "bad..name", "_onvif._tcp.local",
                                      std::string(64, 'x') + ".local"}),
              expected);
    EXPECT_TRUE(BuildMdnsQuery(1, {}).empty());
}

TEST(DnsSd, AnswerJoinsPtrSrvTxtAndA) {
    TMdnsAnswer answer;
    ASSERT_TRUE(ParseMdnsAnswer(kAnswer, answer));
    EXPECT_EQ(answer.id, 0x1234);
    EXPECT_TRUE(answer.serviceTypes.empty());
    ASSERT_EQ(answer.instances.size(), 1u);
    const TMdnsInfo& info = answer.instances[0];
    EXPECT_EQ(info.instance, "Cam 1");
    EXPECT_EQ(info.serviceTypes, std::vector<std::string>{"_http._tcp"});
    EXPECT_EQ(info.host, "cam1.local");
    EXPECT_EQ(info.port, 80);
    EXPECT_EQ(info.addresses, std::vector<std::string>{"192.168.1.20"});
    EXPECT_EQ(info.txt, (std::vector<std::string>{"path=/", "macaddress=00:1a:2b:3c:4d:5e"}));
}

TEST(DnsSd, RecordsCountInEverySection) {
    // The same records with SRV and TXT in the answer section and A in the authority section.
    TBytes moved = kAnswer;
    moved[7] = 0x03;  // ANCOUNT
    moved[9] = 0x01;  // NSCOUNT
    moved[11] = 0x00; // ARCOUNT
    TMdnsAnswer answer;
    ASSERT_TRUE(ParseMdnsAnswer(moved, answer));
    ASSERT_EQ(answer.instances.size(), 1u);
    EXPECT_EQ(answer.instances[0].addresses, std::vector<std::string>{"192.168.1.20"});
    EXPECT_EQ(answer.instances[0].port, 80);
}

TEST(DnsSd, EnumerationGivesServiceTypes) {
    TMdnsAnswer answer;
    ASSERT_TRUE(ParseMdnsAnswer(kEnumeration, answer));
    EXPECT_EQ(answer.serviceTypes,
              (std::vector<std::string>{"_axis-video._tcp.local", "_HTTP._TCP.local"}));
    EXPECT_TRUE(answer.instances.empty());
}

TEST(DnsSd, MalformedMessagesAreRefused) {
    auto withAnswerName = [](std::initializer_list<std::uint8_t> name) {
        TBytes b = {0x00, 0x00, 0x84, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
        b.insert(b.end(), name);
        b.insert(b.end(), {0x00, 0x0C, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x02, 0xC0, 0x0C});
        return b;
    };
    TBytes query = kAnswer;
    query[2] = 0x00; // QR clear
    TBytes failure = kAnswer;
    failure[3] = 0x03; // NXDOMAIN
    TBytes longRdata = kAnswer;
    longRdata[45] = 0xFF; // PTR RDLENGTH past the end of the message
    const TBytes cases[] = {
        withAnswerName({0xC0, 0x0C}),             // a pointer to itself
        withAnswerName({0xC0, 0x0E, 0xC0, 0x0C}), // two pointers to each other
        withAnswerName({0x01, 'a', 0xC0, 0x0C}),  // a label, then back to itself
        withAnswerName({0xC0, 0xFF}),             // past the end
        withAnswerName({0x3F, 'a', 'b'}),         // label longer than the message
        withAnswerName({0x41, 'a', 0x00}),        // extended label type
        query,
        failure,
        longRdata,
        TBytes(kAnswer.begin(), kAnswer.end() - 3),    // cut inside the last record
        TBytes(kAnswer.begin(), kAnswer.begin() + 11), // shorter than a header
        TBytes(kMdnsDatagramMax + 1, 0),
        TBytes{},
    };
    int i = 0;
    for (const auto& bytes : cases) {
        TMdnsAnswer answer;
        answer.serviceTypes.push_back("stale");
        EXPECT_FALSE(ParseMdnsAnswer(bytes, answer)) << "case " << i;
        EXPECT_TRUE(answer.serviceTypes.empty() && answer.instances.empty()) << "case " << i;
        ++i;
    }
}

} // namespace
} // namespace zadari
