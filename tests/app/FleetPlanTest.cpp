// Re-addressing plans: reading the file, handing out a range, and the checks made before
// anything is sent.
#include "app/FleetPlan.h"
#include "protocols/FamilyTable.h"
#include "standards/StandardsMac.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zadari {
namespace {

TDevInfo Camera(std::int32_t family, const std::string& mac, const std::string& ip) {
    TDevInfo record;
    record.family = family;
    record.protocolVersion = 2;
    record.mac = mac;
    record.ip = ip;
    record.mask = "255.255.255.0";
    record.gateway = "192.168.1.1";
    record.name = "cam";
    return record;
}

TPlanEntry Entry(const std::string& mac, const std::string& ip) {
    TPlanEntry entry;
    entry.mac = NormalisedMac(mac);
    entry.ip = ip;
    return entry;
}

std::optional<std::string> EveryoneReached(const TDevInfo& record) {
    if (record.family == kFamilyZorix)
        return std::string("no command");
    return std::nullopt;
}

std::vector<TPlanProblemKind> Kinds(const TCheckedPlan& plan) {
    std::vector<TPlanProblemKind> kinds;
    for (const TPlanProblem& problem : plan.problems)
        kinds.push_back(problem.kind);
    return kinds;
}

std::vector<std::string> OrderOfIps(const TCheckedPlan& plan) {
    std::vector<std::string> ips;
    for (const TPlanStep& step : plan.steps)
        ips.push_back(step.listed.ip);
    return ips;
}

TEST(FleetPlanTest, APlanTakesMacsInEveryCommonFormAndNothingElse) {
    const struct {
        const char* text;
        const char* expected; // nullptr: refused
    } cases[] = {
        {"00:11:22:aa:bb:cc", "001122AABBCC"},
        {"00-11-22-AA-BB-CC", "001122AABBCC"},
        {"0011.22aa.bbcc", "001122AABBCC"},
        {"001122aabbcc", "001122AABBCC"},
        {" 00:11:22:33:44:55 ", "001122334455"},
        {"00:11:22:33:44", nullptr},
        {"00:11:22:33:44:55:66", nullptr},
        {"00:11-22:33:44:55", nullptr},
        {"001:122:334:455", nullptr},
        {"00:11:22:33:44:5g", nullptr},
        {"0011.22aa.bbc", nullptr},
        {"", nullptr},
        {"00:11:22:33:44:55:", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // As a plan file's first field.
        const TPlanReading reading =
            ReadPlanCsv(std::string("mac,ip,mask,gateway,name\n") + c.text + ",10.0.0.1,,,\n");
        if (c.expected == nullptr) {
            EXPECT_TRUE(reading.entries.empty());
            EXPECT_EQ(reading.problems.size(), 1u);
        } else {
            ASSERT_EQ(reading.entries.size(), 1u);
            EXPECT_EQ(reading.entries[0].mac, c.expected);
        }
    }
}

TEST(FleetPlanTest, AddressesAndMasksAreStrict) {
    EXPECT_EQ(ParseIpv4("192.168.1.20"), 0xC0A80114u);
    for (const char* bad : {"192.168.1", "192.168.1.256", "192.168.1.20 ", "1.2.3.4.5", "a.b.c.d",
                            "192.168.01.2000", ""})
        EXPECT_FALSE(ParseIpv4(bad).has_value()) << bad;
    EXPECT_TRUE(IsSubnetMask(0xFFFFFF00u));
    EXPECT_TRUE(IsSubnetMask(0xFFFFFFFFu));
    EXPECT_FALSE(IsSubnetMask(0xFF00FF00u));
    EXPECT_FALSE(IsSubnetMask(0));
}

TEST(FleetPlanTest, ReadsAPlanFileAndNamesEveryLineThatDoesNotRead) {
    const TPlanReading reading =
        ReadPlanCsv("\xEF\xBB\xBFmac,ip,mask,gateway,name\r\n"
                    "00:11:22:33:44:01,10.0.0.11,255.0.0.0,10.0.0.1,Gate\r\n"
                    "\r\n"
                    "00-11-22-33-44-02,10.0.0.12,,,\r\n"
                    "00:11:22:33:44:03,10.0.0.300,,,\r\n"
                    "not-a-mac,10.0.0.14,,,\r\n"
                    "00:11:22:33:44:05,10.0.0.15\r\n");
    ASSERT_EQ(reading.entries.size(), 2u);
    EXPECT_EQ(reading.entries[0].mac, "001122334401");
    EXPECT_EQ(reading.entries[0].mask, "255.0.0.0");
    EXPECT_EQ(reading.entries[0].name.value_or(""), "Gate");
    EXPECT_EQ(reading.entries[0].line, 2);
    EXPECT_EQ(reading.entries[1].mask, "");
    EXPECT_FALSE(reading.entries[1].name.has_value());
    ASSERT_EQ(reading.problems.size(), 3u);
    EXPECT_EQ(reading.problems[0].line, 5);
    EXPECT_EQ(reading.problems[1].line, 6);
    EXPECT_EQ(reading.problems[2].line, 7);
    for (const TPlanProblem& problem : reading.problems)
        EXPECT_EQ(problem.kind, TPlanProblemKind::kUnreadableLine);
}

TEST(FleetPlanTest, APlanWrittenIsReadBackWhole) {
    std::vector<TPlanEntry> entries = {Entry("00:11:22:33:44:01", "10.0.0.11"),
                                       Entry("00:11:22:33:44:02", "10.0.0.12")};
    entries[0].name = "North, gate";
    entries[1].mask = "255.255.0.0";
    const TPlanReading reading = ReadPlanCsv(WritePlanCsv(entries));
    ASSERT_TRUE(reading.problems.empty());
    ASSERT_EQ(reading.entries.size(), 2u);
    EXPECT_EQ(reading.entries[0].name.value_or(""), "North  gate");
    EXPECT_EQ(reading.entries[1].mask, "255.255.0.0");
    EXPECT_EQ(reading.entries[1].mac, "001122334402");
}

TEST(FleetPlanTest, ARangeSkipsAddressesInUseAndTheSubnetsEnds) {
    const std::vector<TDevInfo> cameras = {Camera(1, "00:11:22:33:44:01", "192.168.0.64"),
                                           Camera(1, "00:11:22:33:44:02", "192.168.0.64"),
                                           Camera(1, "00:11:22:33:44:03", "192.168.0.64")};
    std::vector<TPlanProblem> problems;
    const std::vector<TPlanEntry> entries =
        PlanRange(cameras, *ParseIpv4("192.168.1.254"), *ParseIpv4("192.168.2.3"), "255.255.255.0",
                  "192.168.1.1", {"192.168.2.1"}, &problems);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].ip, "192.168.1.254");
    EXPECT_EQ(entries[1].ip, "192.168.2.2"); // .255 broadcast, .0 network, .1 in use
    EXPECT_EQ(entries[2].ip, "192.168.2.3");
    EXPECT_TRUE(problems.empty());

    const std::vector<TPlanEntry> short_ =
        PlanRange(cameras, *ParseIpv4("10.0.0.5"), *ParseIpv4("10.0.0.6"), "", "", {}, &problems);
    EXPECT_EQ(short_.size(), 2u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, TPlanProblemKind::kRangeTooSmall);
}

TEST(FleetPlanTest, EveryProblemOfAPlanIsFoundBeforeAnythingIsSent) {
    const std::vector<TDevInfo> listed = {
        Camera(kFamilyPeltra, "00:11:22:33:44:01", "192.168.1.11"),
        Camera(kFamilyPeltra, "00:11:22:33:44:02", "192.168.1.12"),
        Camera(kFamilyZorix, "00:11:22:33:44:07", "192.168.1.17"),
        Camera(kFamilyMoi, "00:11:22:33:44:03", "192.168.1.13"),
        Camera(kFamilyHds, "00:11:22:33:44:06", "192.168.1.16"),
    };
    struct Case {
        const char* what;
        std::vector<TPlanEntry> entries;
        TPlanProblemKind expected;
    };
    TPlanEntry renamed = Entry("00:11:22:33:44:03", "192.168.1.33");
    renamed.name = "new name";
    TPlanEntry badMask = Entry("00:11:22:33:44:01", "192.168.1.31");
    badMask.mask = "255.0.255.0";
    TPlanEntry zeroGateway = Entry("00:11:22:33:44:06", "192.168.1.36");
    zeroGateway.gateway = "0.0.0.0";
    const Case cases[] = {
        {"same MAC twice",
         {Entry("00:11:22:33:44:01", "192.168.1.31"), Entry("00-11-22-33-44-01", "192.168.1.32")},
         TPlanProblemKind::kDuplicateMac},
        {"same address twice",
         {Entry("00:11:22:33:44:01", "192.168.1.31"), Entry("00:11:22:33:44:02", "192.168.1.31")},
         TPlanProblemKind::kDuplicateAddress},
        {"address of a camera that stays",
         {Entry("00:11:22:33:44:01", "192.168.1.12")},
         TPlanProblemKind::kAddressInUse},
        {"network address",
         {Entry("00:11:22:33:44:01", "192.168.1.0")},
         TPlanProblemKind::kNetworkOrBroadcast},
        {"broadcast address",
         {Entry("00:11:22:33:44:01", "192.168.1.255")},
         TPlanProblemKind::kNetworkOrBroadcast},
        {"family without a command",
         {Entry("00:11:22:33:44:07", "192.168.1.37")},
         TPlanProblemKind::kNotReaddressable},
        {"name of a family that keeps it", {renamed}, TPlanProblemKind::kNameFixed},
        {"mask that is none", {badMask}, TPlanProblemKind::kBadMask},
        {"zero gateway", {zeroGateway}, TPlanProblemKind::kZeroGateway},
        {"two cameras swapping",
         {Entry("00:11:22:33:44:01", "192.168.1.12"), Entry("00:11:22:33:44:02", "192.168.1.11")},
         TPlanProblemKind::kMoveCycle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TCheckedPlan plan = CheckPlan(c.entries, listed, EveryoneReached);
        EXPECT_FALSE(plan.Valid());
        const std::vector<TPlanProblemKind> kinds = Kinds(plan);
        EXPECT_NE(std::find(kinds.begin(), kinds.end(), c.expected), kinds.end());
        for (const TPlanProblem& problem : plan.problems)
            EXPECT_FALSE(problem.text.empty());
    }
}

TEST(FleetPlanTest, MovesAreOrderedSoAnAddressIsFreedBeforeItIsTaken) {
    // 01 moves to 02's address, 02 to 03's, 03 to a free one: 03 goes first, then 02, then 01.
    const std::vector<TDevInfo> listed = {
        Camera(kFamilyPeltra, "00:11:22:33:44:01", "192.168.1.11"),
        Camera(kFamilyPeltra, "00:11:22:33:44:02", "192.168.1.12"),
        Camera(kFamilyPeltra, "00:11:22:33:44:03", "192.168.1.13"),
    };
    const TCheckedPlan plan = CheckPlan(
        {Entry("00:11:22:33:44:01", "192.168.1.12"), Entry("00:11:22:33:44:02", "192.168.1.13"),
         Entry("00:11:22:33:44:03", "192.168.1.50"), Entry("00:11:22:33:44:99", "192.168.1.51")},
        listed, EveryoneReached);
    ASSERT_TRUE(plan.Valid()) << plan.problems.front().text;
    EXPECT_EQ(OrderOfIps(plan),
              (std::vector<std::string>{"192.168.1.13", "192.168.1.12", "192.168.1.11"}));
    EXPECT_EQ(plan.steps[0].waitsFor, -1);
    EXPECT_EQ(plan.steps[1].waitsFor, 0);
    EXPECT_EQ(plan.steps[2].waitsFor, 1);
    ASSERT_EQ(plan.notFound.size(), 1u);
    EXPECT_EQ(plan.notFound[0].mac, "001122334499");
}

TEST(FleetPlanTest, EmptyFieldsKeepTheCamerasValues) {
    const std::vector<TDevInfo> listed = {Camera(kFamilyPeltra, "00:11:22:33:44:01", "10.1.1.11")};
    TPlanEntry entry = Entry("00:11:22:33:44:01", "");
    entry.gateway = "10.1.1.254";
    const TCheckedPlan plan = CheckPlan({entry}, listed, EveryoneReached);
    ASSERT_TRUE(plan.Valid());
    EXPECT_EQ(plan.steps[0].NewIp(), "10.1.1.11");
    EXPECT_EQ(plan.steps[0].NewMask(), "255.255.255.0");
    EXPECT_EQ(plan.steps[0].NewGateway(), "10.1.1.254");
}

} // namespace
} // namespace zadari
