#include "protocols/SdkReport.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

TEST(SdkReport, MapsTheCallbackArgumentsToTheRecord) {
    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC};
    TSdkReport report;
    report.name = "hall";
    report.ip = "192.168.0.7";
    report.mac = mac;
    report.httpPort = 81;
    report.dataPort = 5000;
    report.mask = "255.255.255.0";
    report.gateway = "192.168.0.1";
    report.text = "opaque";
    report.dns = "8.8.8.8";
    report.word = 0xBEEF;
    report.value = -5;
    report.dhcp = 1;
    const TDevInfo r = SdkReportToRecord(report);
    EXPECT_EQ(r.family, 4);
    EXPECT_EQ(r.protocolVersion, 0);
    EXPECT_EQ(r.mac, "001122AABBCC");
    EXPECT_EQ(r.macKey, "");
    EXPECT_EQ(r.name, "hall");
    EXPECT_EQ(r.ip, "192.168.0.7");
    EXPECT_EQ(r.httpPort, 81);
    EXPECT_EQ(r.dataPort, 5000);
    EXPECT_EQ(r.mask, "255.255.255.0");
    EXPECT_EQ(r.gateway, "192.168.0.1");
    EXPECT_EQ(r.sdkText, "opaque");
    EXPECT_EQ(r.dns1, "8.8.8.8");
    EXPECT_EQ(r.sdkWord, 0xBEEF);
    EXPECT_EQ(r.sdkValue, -5);
    EXPECT_EQ(r.ipMode, 1);
    EXPECT_TRUE(r.rawReply.empty());
}

TEST(SdkReport, DhcpIndicatorOtherThanOneMeansFixed) {
    for (const int indicator : {0, 2, -1, 7}) {
        TSdkReport report;
        report.dhcp = indicator;
        EXPECT_EQ(SdkReportToRecord(report).ipMode, 2) << indicator;
    }
}

TEST(SdkReport, NullTextsAndMacGiveEmptyFields) {
    const TDevInfo r = SdkReportToRecord(TSdkReport{});
    EXPECT_EQ(r.name, "");
    EXPECT_EQ(r.mac, "");
    EXPECT_EQ(r.family, 4);
}

} // namespace
} // namespace zadari
