#include "net/Tools_Net.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace zadari {
namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(IpBytesToText, WritesFourDecimalsInWireOrder) {
    EXPECT_EQ(TTools_Net::IpBytesToText(TIpBytes{0, 0, 0, 0}), "0.0.0.0");
    EXPECT_EQ(TTools_Net::IpBytesToText(TIpBytes{192, 168, 1, 10}), "192.168.1.10");
    EXPECT_EQ(TTools_Net::IpBytesToText(TIpBytes{255, 255, 255, 255}), "255.255.255.255");
    const std::uint8_t wire[] = {10, 0, 7, 1, 99};
    EXPECT_EQ(TTools_Net::IpBytesToText(TByteView(wire, 5)), "10.0.7.1");
    EXPECT_EQ(TTools_Net::IpBytesToText(TByteView(wire, 2)), "10.0.0.0");
}

struct TTextToBytesCase {
    const char* text;
    TIpBytes bytes;
};

class IpTextToBytesGood : public ::testing::TestWithParam<TTextToBytesCase> {};

TEST_P(IpTextToBytesGood, StoresLowEightBitsOfEachPart) {
    EXPECT_EQ(TTools_Net::IpTextToBytes(GetParam().text), GetParam().bytes) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, IpTextToBytesGood,
                         ::testing::Values(TTextToBytesCase{"192.168.1.10", {192, 168, 1, 10}},
                                           TTextToBytesCase{"192.168.1.300", {192, 168, 1, 44}},
                                           TTextToBytesCase{"0.0.0.0", {0, 0, 0, 0}},
                                           TTextToBytesCase{" 7.1.2.3", {7, 1, 2, 3}},
                                           TTextToBytesCase{"+7.1.2.3", {7, 1, 2, 3}},
                                           TTextToBytesCase{"1.2.3. 4", {1, 2, 3, 4}},
                                           TTextToBytesCase{"-1.0.0.0", {255, 0, 0, 0}},
                                           TTextToBytesCase{"010.001.0.0", {10, 1, 0, 0}},
                                           TTextToBytesCase{"1.2.3.4.5", {1, 2, 3, 4}},
                                           TTextToBytesCase{"1.2.3.4.junk", {1, 2, 3, 4}},
                                           TTextToBytesCase{"2147483647.0.0.1", {255, 0, 0, 1}},
                                           TTextToBytesCase{"-2147483648.0.0.1", {0, 0, 0, 1}}));

class IpTextToBytesBad : public ::testing::TestWithParam<const char*> {};

TEST_P(IpTextToBytesBad, RaisesTheConversionError) {
    EXPECT_THROW(TTools_Net::IpTextToBytes(GetParam()), EConvertError) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Cases, IpTextToBytesBad,
                         ::testing::Values("1.2.3", "", "1..3.4", "1.2.3.", "a.b.c.d", "1.2.3.4x",
                                           "1.2.3.4 ", "1.2.3.+", "1.2.3.-", "1.2.3. ",
                                           "2147483648.0.0.0", "99999999999.0.0.0", "0x10.0.0.0",
                                           "1,2.3.4"));

TEST(IpTextToBytes, ErrorIsAnInvalidArgument) {
    EXPECT_THROW(TTools_Net::IpTextToBytes("1.2.3"), std::invalid_argument);
}

struct TCompareCase {
    const char* a;
    const char* b;
    int expected; // sign
};

class CompareIpCases : public ::testing::TestWithParam<TCompareCase> {};

TEST_P(CompareIpCases, GivesTheSign) {
    const auto& c = GetParam();
    EXPECT_EQ(Sign(TTools_Net::CompareIp(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(TTools_Net::CompareIp(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareIpCases,
    ::testing::Values(TCompareCase{"192.168.1.9", "192.168.1.10", -1},
                      TCompareCase{"10.0.0.1", "10.0.0.1", 0},
                      TCompareCase{"10.0.0.9", "10.0.0.10", -1},
                      TCompareCase{"9.0.0.0", "10.0.0.0", -1}, TCompareCase{"1.2.3", "1.2.3.4", -1},
                      TCompareCase{"1.x.3.4", "1.0.3.4", 0}, TCompareCase{"", "1.2.3.4", -1},
                      TCompareCase{"", "", 0}, TCompareCase{"abc", "0", 0},
                      // Different part counts go by text: "5" sorts after "1".
                      TCompareCase{"5.0.0", "10.0.0.0", 1}, TCompareCase{"a.b", "A.B.C", -1},
                      TCompareCase{"1..3.4", "1.0.3.4", 0}));

TEST(CompareIp, IsNoStrictWeakOrderAcrossPartCounts) {
    // The reason the list sorts with CompareIpOrder: these three form a cycle.
    EXPECT_LT(TTools_Net::CompareIp("9.0.0.0", "10.0.0.0"), 0);
    EXPECT_LT(TTools_Net::CompareIp("10.0.0.0", "5.0.0"), 0);
    EXPECT_LT(TTools_Net::CompareIp("5.0.0", "9.0.0.0"), 0);
}

class CompareIpOrderCases : public ::testing::TestWithParam<TCompareCase> {};

TEST_P(CompareIpOrderCases, GivesTheSign) {
    const auto& c = GetParam();
    EXPECT_EQ(Sign(TTools_Net::CompareIpOrder(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(TTools_Net::CompareIpOrder(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
    EXPECT_EQ(
        Sign(TTools_Net::CompareIpSortKeys(TTools_Net::IpSortKey(c.a), TTools_Net::IpSortKey(c.b))),
        c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareIpOrderCases,
    ::testing::Values(TCompareCase{"192.168.1.9", "192.168.1.10", -1},
                      TCompareCase{"10.0.0.1", "10.0.0.1", 0},
                      TCompareCase{"1.x.3.4", "1.0.3.4", 0}, TCompareCase{"1.2.3", "1.2.3.4", -1},
                      TCompareCase{"1.2.30", "1.2.3.4", 1}, TCompareCase{"", "0.0.0.0", -1},
                      TCompareCase{"", "1.2.3.4", -1}, TCompareCase{"", "x", 0},
                      // Numeric where CompareIp goes by text.
                      TCompareCase{"5.0.0", "10.0.0.0", -1}));

/// Addresses as devices might report them: well formed, short, long, empty or malformed.
std::string RandomAddress(std::mt19937& rng) {
    static const char* const kParts[] = {"",  "0",  "1",  "9",  "10", "255", "300",
                                         "x", " 7", "+3", "-1", "00", "1a",  "2147483648"};
    std::uniform_int_distribution<int> count(1, 5);
    std::uniform_int_distribution<std::size_t> part(0, std::size(kParts) - 1);
    std::string text;
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
        if (i)
            text += '.';
        text += kParts[part(rng)];
    }
    return text;
}

TEST(CompareIpOrder, AgreesWithCompareIpForEqualPartCounts) {
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const auto a = RandomAddress(rng);
        const auto b = RandomAddress(rng);
        const bool sameCount =
            std::count(a.begin(), a.end(), '.') == std::count(b.begin(), b.end(), '.');
        if (sameCount) {
            ASSERT_EQ(Sign(TTools_Net::CompareIpOrder(a, b)), Sign(TTools_Net::CompareIp(a, b)))
                << a << " vs " << b;
        }
        ASSERT_EQ(Sign(TTools_Net::CompareIpOrder(a, b)),
                  Sign(TTools_Net::CompareIpSortKeys(TTools_Net::IpSortKey(a),
                                                     TTools_Net::IpSortKey(b))));
    }
}

TEST(CompareIpOrder, IsAStrictWeakOrderForAnyTexts) {
    std::mt19937 rng(11);
    const auto less = [](const std::string& x, const std::string& y) {
        return TTools_Net::CompareIpOrder(x, y) < 0;
    };
    const auto same = [&](const std::string& x, const std::string& y) {
        return !less(x, y) && !less(y, x);
    };
    for (int i = 0; i < 50000; ++i) {
        const auto a = RandomAddress(rng);
        const auto b = RandomAddress(rng);
        const auto c = RandomAddress(rng);
        ASSERT_FALSE(less(a, a)) << a;
        ASSERT_EQ(Sign(TTools_Net::CompareIpOrder(a, b)), -Sign(TTools_Net::CompareIpOrder(b, a)));
        if (less(a, b) && less(b, c)) {
            ASSERT_TRUE(less(a, c)) << a << " < " << b << " < " << c;
        }
        if (same(a, b) && same(b, c)) {
            ASSERT_TRUE(same(a, c)) << a << " ~ " << b << " ~ " << c;
        }
    }
}

quint16 OccupyFreePort(QUdpSocket& socket) {
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0, QAbstractSocket::DontShareAddress))
        return 0;
    return socket.localPort();
}

TEST(BindUdpServer, BindsTheFirstPortWhenFree) {
    QUdpSocket holder;
    const quint16 port = OccupyFreePort(holder);
    ASSERT_NE(port, 0);
    holder.abort(); // now free again (a race with other programs is unlikely)
    QUdpSocket socket;
    ASSERT_TRUE(TTools_Net::BindUdpServer(socket, port));
    EXPECT_EQ(socket.state(), QAbstractSocket::BoundState);
    EXPECT_EQ(socket.localPort(), port);
}

TEST(BindUdpServer, SkipsAPortAnotherSocketHolds) {
    QUdpSocket holder;
    const quint16 port = OccupyFreePort(holder);
    ASSERT_NE(port, 0);
    QUdpSocket socket;
    ASSERT_TRUE(TTools_Net::BindUdpServer(socket, port));
    EXPECT_GT(socket.localPort(), port);
    EXPECT_LT(socket.localPort(), port + 1000);
    EXPECT_EQ(holder.state(), QAbstractSocket::BoundState);
}

TEST(BindUdpServer, BoundEndpointReceivesOnLoopback) {
    QUdpSocket socket;
    QUdpSocket holder;
    const quint16 port = OccupyFreePort(holder);
    ASSERT_NE(port, 0);
    ASSERT_TRUE(TTools_Net::BindUdpServer(socket, port));
    QUdpSocket sender;
    const QByteArray payload("ping");
    ASSERT_EQ(
        sender.writeDatagram(payload, QHostAddress(QHostAddress::LocalHost), socket.localPort()),
        payload.size());
    ASSERT_TRUE(socket.waitForReadyRead(2000));
    QByteArray got(static_cast<qsizetype>(socket.pendingDatagramSize()), '\0');
    socket.readDatagram(got.data(), got.size());
    EXPECT_EQ(got, payload);
}

TEST(BindUdpServer, NeverWrapsPastTheLastPort) {
    // Port 65536 would become port 0 (any free port) if it were passed on unchecked.
    QUdpSocket holder;
    if (!holder.bind(QHostAddress(QHostAddress::AnyIPv4), 65535, QAbstractSocket::DontShareAddress))
        GTEST_SKIP() << "port 65535 is in use here";
    QUdpSocket socket;
    EXPECT_FALSE(TTools_Net::BindUdpServer(socket, 65535));
    EXPECT_EQ(socket.state(), QAbstractSocket::UnconnectedState);
}

} // namespace
} // namespace zadari
