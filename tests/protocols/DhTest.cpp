#include "protocols/Dh.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zadari {
namespace {

// A datagram written field by field at the offsets of the device block.
class TDatagram {
public:
    explicit TDatagram(std::size_t size) : bytes_(size, 0) {}
    TDatagram& Bytes(std::size_t offset, std::initializer_list<std::uint8_t> values) {
        std::size_t i = offset;
        for (const auto v : values)
            bytes_.at(i++) = v;
        return *this;
    }
    TDatagram& Text(std::size_t offset, const char* text) {
        std::memcpy(bytes_.data() + offset, text, std::strlen(text));
        return *this;
    }
    const TBytes& Get() const { return bytes_; }

private:
    TBytes bytes_;
};

TDatagram SampleReply() {
    TDatagram d(516);
    d.Bytes(0, {0x44, 0x48, 0x01, 0x08})
        .Text(4, "192.168.1.88")
        .Text(20, "255.255.255.0")
        .Text(36, "192.168.1.1")
        .Text(52, "8.8.8.8")
        .Text(68, "8.8.4.4")
        .Bytes(84, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Bytes(90, {0x51, 0x00}) // port 81
        .Text(92, "SN-0042")
        .Text(124, "Porch")
        .Text(204, "84.2.0.120")
        .Text(236, "admin")
        .Text(268, "secret")
        .Bytes(301, {0x01})
        .Text(324, "ddns.example.com")
        .Text(388, "second.example.com")
        .Text(452, "ddnsuser")
        .Text(484, "ddnspass");
    return d;
}

TEST(DhSearch, RequestIsTheFourByteHeader) {
    EXPECT_EQ(BuildDhSearchRequest(), (TBytes{0x44, 0x48, 0x01, 0x01}));
}

TEST(DhSearch, ReplyFillsTheRecordAsTheFieldTableSays) {
    TDevInfo info;
    info.age = 7; // the parser starts from a cleared record
    ASSERT_TRUE(ParseDhSearchReply(SampleReply().Get(), info));
    EXPECT_EQ(info.family, 9);
    EXPECT_EQ(info.protocolVersion, 0);
    EXPECT_EQ(info.mac, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(info.macKey, "001A2B3C4D5E");
    EXPECT_EQ(info.deviceId, "SN-0042");
    EXPECT_EQ(info.name, "Porch");
    EXPECT_EQ(info.version, "84.2.0.120");
    EXPECT_EQ(info.ip, "192.168.1.88");
    EXPECT_EQ(info.mask, "255.255.255.0");
    EXPECT_EQ(info.gateway, "192.168.1.1");
    EXPECT_EQ(info.dnsAuto, 0);
    EXPECT_EQ(info.dns1, "8.8.8.8");
    EXPECT_EQ(info.dns2, "8.8.4.4");
    EXPECT_EQ(info.httpPort, 81);
    EXPECT_EQ(info.ipMode, 1);
    EXPECT_EQ(info.ddnsEnabled, 1);
    EXPECT_EQ(info.ddnsHost, "ddns.example.com");
    EXPECT_EQ(info.ddnsHost2, "second.example.com");
    EXPECT_EQ(info.ddnsUser, "ddnsuser");
    EXPECT_EQ(info.ddnsPassword, "ddnspass");
    EXPECT_EQ(info.ddnsPort, 808);
    EXPECT_EQ(info.ddnsOption, 0);
    EXPECT_EQ(info.userName, "admin");
    EXPECT_EQ(info.userPassword, "secret");
    EXPECT_EQ(info.age, 0);
    EXPECT_TRUE(info.sdkText.empty());
    EXPECT_FALSE(info.HasRawReply());
}

TEST(DhSearch, AddressModeByte) {
    struct Case {
        std::uint8_t byte301;
        std::uint8_t ipMode;
    };
    for (const Case c : {Case{0, 2}, Case{1, 1}, Case{2, 2}, Case{0xFF, 2}}) {
        TDevInfo info;
        ASSERT_TRUE(ParseDhSearchReply(SampleReply().Bytes(301, {c.byte301}).Get(), info));
        EXPECT_EQ(info.ipMode, c.ipMode) << int(c.byte301);
    }
}

TEST(DhSearch, FieldsWithoutNulTakeTheirWholeWidth) {
    TDatagram d = SampleReply();
    d.Text(124, std::string(80, 'N').c_str()); // up to the version field, no NUL
    d.Text(204, "1.0").Bytes(207, {0x00});
    TDevInfo info;
    ASSERT_TRUE(ParseDhSearchReply(d.Get(), info));
    EXPECT_EQ(info.name, std::string(80, 'N'));
    EXPECT_EQ(info.version, "1.0");
    d.Text(4, "1234567890123456"); // 16 bytes, no NUL before the mask
    ASSERT_TRUE(ParseDhSearchReply(d.Get(), info));
    EXPECT_EQ(info.ip, "1234567890123456");
    EXPECT_EQ(info.mask, "255.255.255.0");
}

TEST(DhSearch, ShortReplyReadsAsZeroPadded) {
    TDatagram d(100);
    d.Bytes(0, {0x44, 0x48, 0x01, 0x08}).Text(4, "10.0.0.9").Bytes(84, {1, 2, 3, 4, 5, 6});
    TDevInfo info;
    ASSERT_TRUE(ParseDhSearchReply(d.Get(), info));
    EXPECT_EQ(info.ip, "10.0.0.9");
    EXPECT_EQ(info.mac, "01:02:03:04:05:06");
    EXPECT_EQ(info.httpPort, 0);
    EXPECT_EQ(info.name, "");
    EXPECT_EQ(info.userPassword, "");
    EXPECT_EQ(info.ipMode, 2);

    TDevInfo headerOnly;
    ASSERT_TRUE(ParseDhSearchReply(TBytes{0x44, 0x48, 0x01, 0x08}, headerOnly));
    EXPECT_EQ(headerOnly.mac, "00:00:00:00:00:00");
}

TEST(DhSearch, OtherDatagramsAreNotReplies) {
    const TBytes others[] = {
        {},
        {0x44, 0x48, 0x01},
        {0x44, 0x48, 0x01, 0x01}, // our own request looped back
        {0x44, 0x48, 0x02, 0x08},
        {0x44, 0x49, 0x01, 0x08},
        {0x64, 0x68, 0x01, 0x08},
    };
    for (const TBytes& other : others) {
        TDevInfo info;
        info.name = "untouched";
        EXPECT_FALSE(ParseDhSearchReply(other, info));
        EXPECT_EQ(info.name, "untouched");
    }
}

TDevInfo SampleSettings() {
    TDevInfo s;
    s.family = 9;
    s.ip = "192.168.1.99";
    s.mask = "255.255.0.0";
    s.gateway = "192.168.1.254";
    s.dns1 = "1.1.1.1";
    s.dns2 = "9.9.9.9";
    s.mac = "00:1A:2B:3C:4D:5E";
    s.macKey = "001A2B3C4D5E";
    s.deviceId = "SN-0042";
    s.name = "Gate";
    s.version = "84.2.0.121";
    s.httpPort = 0x1F90; // 8080
    s.ipMode = 2;
    s.ddnsHost = "never.sent";
    s.userName = "record-user";
    return s;
}

TEST(DhSettings, RequestCarriesTheDeviceBlock) {
    const TBytes r = BuildDhSettingsRequest("admin", "pw", SampleSettings());
    ASSERT_EQ(r.size(), 324u);
    TDatagram expected(324);
    expected.Bytes(0, {0x44, 0x48, 0x02, 0x01})
        .Text(4, "192.168.1.99")
        .Text(20, "255.255.0.0")
        .Text(36, "192.168.1.254")
        .Text(52, "1.1.1.1")
        .Text(68, "9.9.9.9")
        .Bytes(84, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})
        .Bytes(90, {0x90, 0x1F})
        .Text(124, "Gate")
        .Text(204, "84.2.0.121")
        .Text(236, "admin")
        .Text(268, "pw")
        .Bytes(301, {0x00});
    EXPECT_EQ(r, expected.Get());
}

TEST(DhSettings, AddressModeByteIsZeroOnlyForFixed) {
    struct Case {
        std::uint8_t ipMode;
        std::uint8_t byte301;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{2, 0}}) {
        TDevInfo s = SampleSettings();
        s.ipMode = c.ipMode;
        EXPECT_EQ(BuildDhSettingsRequest("u", "p", s).at(301), c.byte301) << int(c.ipMode);
    }
}

TEST(DhSettings, MacStopsAtTheEndOrTheFirstPairThatIsNotHex) {
    struct Case {
        const char* macKey;
        std::array<std::uint8_t, 6> bytes;
    };
    const Case cases[] = {
        {"001A2B", {0x00, 0x1A, 0x2B, 0, 0, 0}},
        {"001A2", {0x00, 0x1A, 0, 0, 0, 0}},
        {"00ZZ2B3C4D5E", {0x00, 0, 0, 0, 0, 0}},
        {"001a2b3c4d5e", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"001A2B3C4D5E6F", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"", {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TDevInfo s = SampleSettings();
        s.macKey = c.macKey;
        const TBytes r = BuildDhSettingsRequest("u", "p", s);
        EXPECT_EQ(TBytes(r.begin() + 84, r.begin() + 90), TBytes(c.bytes.begin(), c.bytes.end()))
            << c.macKey;
        EXPECT_EQ(r.at(90), 0x90) << "the port after the MAC stays";
    }
}

TEST(DhSettings, OverlongTextsStayInsideTheirFieldWithANul) {
    TDevInfo s = SampleSettings();
    s.name = std::string(100, 'n');
    s.ip = "1234567890123456789";
    const TBytes r = BuildDhSettingsRequest(std::string(40, 'u'), std::string(40, 'p'), s);
    ASSERT_EQ(r.size(), 324u);
    EXPECT_EQ(std::string(r.begin() + 124, r.begin() + 203), std::string(79, 'n'));
    EXPECT_EQ(r.at(203), 0);
    EXPECT_EQ(std::string(r.begin() + 204, r.begin() + 214), "84.2.0.121");
    EXPECT_EQ(std::string(r.begin() + 4, r.begin() + 19), "123456789012345");
    EXPECT_EQ(r.at(19), 0);
    EXPECT_EQ(std::string(r.begin() + 20, r.begin() + 31), "255.255.0.0");
    EXPECT_EQ(std::string(r.begin() + 236, r.begin() + 267), std::string(31, 'u'));
    EXPECT_EQ(r.at(267), 0);
    EXPECT_EQ(std::string(r.begin() + 268, r.begin() + 299), std::string(31, 'p'));
    EXPECT_EQ(r.at(299), 0);
}

TEST(DhSettings, AcknowledgementStatus) {
    TDatagram ok(328);
    ok.Bytes(0, {0x44, 0x48, 0x02, 0x08}).Bytes(324, {0x00, 0x80, 0x00, 0x00});
    EXPECT_EQ(ParseDhSettingsAck(ok.Get()), std::optional<std::uint32_t>(0x8000));

    TDatagram refused(328);
    refused.Bytes(0, {0x44, 0x48, 0x02, 0x08}).Bytes(324, {0x01, 0x80, 0x00, 0x00});
    EXPECT_EQ(ParseDhSettingsAck(refused.Get()), std::optional<std::uint32_t>(0x8001));

    // Big-endian 0x8000 is another value.
    TDatagram swapped(328);
    swapped.Bytes(0, {0x44, 0x48, 0x02, 0x08}).Bytes(324, {0x00, 0x00, 0x80, 0x00});
    EXPECT_EQ(ParseDhSettingsAck(swapped.Get()), std::optional<std::uint32_t>(0x00800000));

    // Short: the missing status reads as zero. Bytes past 328 are not read.
    EXPECT_EQ(ParseDhSettingsAck(TBytes{0x44, 0x48, 0x02, 0x08}), std::optional<std::uint32_t>(0));
    TDatagram cut(326);
    cut.Bytes(0, {0x44, 0x48, 0x02, 0x08}).Bytes(324, {0x00, 0x80});
    EXPECT_EQ(ParseDhSettingsAck(cut.Get()), std::optional<std::uint32_t>(0x8000));

    EXPECT_EQ(ParseDhSettingsAck(BuildDhSettingsRequest("u", "p", SampleSettings())), std::nullopt);
    EXPECT_EQ(ParseDhSettingsAck(SampleReply().Get()), std::nullopt);
    EXPECT_EQ(ParseDhSettingsAck(TBytes{}), std::nullopt);
}

TEST(DhHttp, StatusUrlCarriesTheAccountUnchanged) {
    EXPECT_EQ(DhStatusUrl("http://10.0.0.5:81", "ad&min", "p w"),
              "http://10.0.0.5:81/get_Status.cgi?user=ad&min&pwd=p w");
}

TEST(DhHttp, SysVersionIsTheQuotedItem) {
    struct Case {
        const char* page;
        const char* version;
    };
    const Case cases[] = {
        {"var alias=\"cam\";\r\nvar sys_ver=\"84.2.0.121\";\r\nvar x=\"y\";", "84.2.0.121"},
        {"sys_ver=\"9.0\"", "9.0"},
        {"sys_ver=\"open to the end", "open to the end"},
        {"sys_ver=\"\";", ""},
        {"sys_ver=84;", ""},
        // Without the item there is no version: an error page's first quoted attribute is not
        // a firmware version.
        {"<html lang=\"en\"><body>401 Unauthorized</body></html>", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DhSysVersionOf(c.page), c.version) << c.page;
}

TEST(DhHttp, HostOfBaseUrlDropsSchemeAndPort) {
    EXPECT_EQ(DhHostOf("http://10.0.0.5:81"), "10.0.0.5");
    EXPECT_EQ(DhHostOf("http://10.0.0.5"), "10.0.0.5");
    EXPECT_EQ(DhHostOf("10.0.0.5:81"), "10.0.0.5");
}

TEST(DhHttp, FirmwareGoesToPort8600FromVersion84_2_0_121On) {
    struct Case {
        const char* version;
        const char* url;
    };
    const Case cases[] = {
        {"84.2.0.121", "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
        {"84.2.0.122", "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
        {"9.1", "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
        {"84.2.0.120", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
        {"100.0.0.0", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
        {"84.2.0.12", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
        {"", "http://10.0.0.5:81/upgrade_firmware.cgi?loginuse=admin&loginpas=pw"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DhFirmwareUploadUrl("http://10.0.0.5:81", "admin", "pw", c.version), c.url)
            << c.version;
    // Bytes above 0x7F sort after the digits, as plain bytes do.
    EXPECT_EQ(DhFirmwareUploadUrl("http://10.0.0.5", "a", "b", "\xC3\xA9"),
              "http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=a&loginpas=b");
}

TEST(DhHttp, WebUiAlwaysGoesToTheBaseUrl) {
    EXPECT_EQ(DhWebUiUploadUrl("http://10.0.0.5:81", "admin", ""),
              "http://10.0.0.5:81/upgrade_htmls.cgi?loginuse=admin&loginpas=");
}

} // namespace
} // namespace zadari
