#include "net/NeighbourTable.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

// The layout of /proc/net/arp (Linux net/ipv4/arp.c: "IP address HW type Flags HW address
// Mask Device", flags in hex, ATF_COM = 0x2 for a complete entry).
constexpr const char* kTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "10.231.0.2       0x1         0x2         02:5a:00:00:01:01     *        zv0\n"
    "10.231.1.2       0x1         0x0         00:00:00:00:00:00     *        zv1\n"
    "10.231.2.2       0x1         0x6         02:5a:00:00:02:02     *        zv2\n"
    "garbage line\n"
    "10.231.3.2       0x1         zz          02:5a:00:00:03:03     *        zv3\n";

TEST(NeighbourTable, CompleteEntriesOnly) {
    const auto entries = ParseArpTable(kTable);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.at("10.231.0.2"), "02:5a:00:00:01:01");
    EXPECT_EQ(entries.at("10.231.2.2"), "02:5a:00:00:02:02");
    EXPECT_EQ(entries.count("10.231.1.2"), 0u) << "incomplete";
}

TEST(NeighbourTable, EmptyAndHeaderOnlyTablesHoldNothing) {
    EXPECT_TRUE(ParseArpTable("").empty());
    EXPECT_TRUE(ParseArpTable("10.0.0.1 0x1 0x2 02:5a:00:00:01:01 * eth0\n").empty())
        << "the first line is the header";
    EXPECT_EQ(ParseArpTable(kTable, 1).size(), 1u);
}

TEST(NeighbourTable, AMissingFileKnowsNoAddress) {
    TNeighbourTable table("/nonexistent/arp");
    EXPECT_EQ(table.MacOf("10.0.0.1"), "");
}

} // namespace
} // namespace zadari
