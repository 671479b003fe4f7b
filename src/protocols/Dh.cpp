#include "protocols/Dh.h"

#include "protocols/ByteReader.h"
#include "protocols/ByteWriter.h"
#include "protocols/Encoding.h"

#include <algorithm>

namespace zadari {

namespace {

// Offsets of the device block shared by the search reply and the settings request.
constexpr std::size_t kIp = 4, kMask = 20, kGateway = 36, kDns1 = 52, kDns2 = 68;
constexpr std::size_t kAddressWidth = 16;
constexpr std::size_t kMac = 84, kMacWidth = 6;
constexpr std::size_t kHttpPort = 90;
constexpr std::size_t kDeviceId = 92, kDeviceIdWidth = 32;
constexpr std::size_t kName = 124, kNameWidth = 80;
constexpr std::size_t kVersion = 204, kVersionWidth = 16;
constexpr std::size_t kUser = 236, kPassword = 268, kAccountWidth = 32;
constexpr std::size_t kAddressMode = 301;
constexpr std::size_t kDdnsHost = 324, kDdnsHost2 = 388, kDdnsHostWidth = 64;
constexpr std::size_t kDdnsUser = 452, kDdnsPassword = 484, kDdnsAccountWidth = 32;
constexpr std::size_t kAckStatus = 324;

constexpr std::uint8_t kSearch = 0x01, kSettings = 0x02;
constexpr std::uint8_t kFromClient = 0x01, kFromDevice = 0x08;

bool HasHeader(TByteView datagram, std::uint8_t exchange, std::uint8_t direction) {
    return datagram.size() >= 4 && datagram[0] == 0x44 && datagram[1] == 0x48 &&
           datagram[2] == exchange && datagram[3] == direction;
}

void PutHeader(TByteWriter& out, std::uint8_t exchange) {
    out.PutU8(0, 0x44);
    out.PutU8(1, 0x48);
    out.PutU8(2, exchange);
    out.PutU8(3, kFromClient);
}

// Width - 1 bytes at most, so the zero-filled message keeps a NUL inside the field.
void PutText(TByteWriter& out, std::size_t offset, std::string_view text, std::size_t width) {
    out.PutFixedText(offset, text.substr(0, std::min(text.size(), width - 1)), width);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string Query(std::string_view baseUrl, std::string_view cgi, std::string_view userItem,
                  std::string_view user, std::string_view passwordItem, std::string_view password) {
    std::string url(baseUrl);
    url.append(cgi).append("?").append(userItem).append("=").append(user);
    url.append("&").append(passwordItem).append("=").append(password);
    return url;
}

} // namespace

TBytes BuildDhSearchRequest() {
    return {0x44, 0x48, kSearch, kFromClient};
}

bool ParseDhSearchReply(TByteView datagram, TDevInfo& info) {
    if (!HasHeader(datagram, kSearch, kFromDevice))
        return false;
    const TByteReader r(datagram);
    info = TDevInfo{};
    info.family = kFamilyDh;
    info.protocolVersion = 0;
    const auto macBytes = r.Array<kMacWidth>(kMac);
    const std::string hex = BytesToHex(TByteView(macBytes));
    for (std::size_t i = 0; i < kMacWidth; ++i) {
        if (i > 0)
            info.mac.push_back(':');
        info.mac.append(hex, 2 * i, 2);
    }
    info.macKey = MacKeyOf(info.mac);
    info.deviceId = r.CString(kDeviceId, kDeviceIdWidth);
    info.name = r.CString(kName, kNameWidth);
    info.version = r.CString(kVersion, kVersionWidth);
    info.ip = r.CString(kIp, kAddressWidth);
    info.mask = r.CString(kMask, kAddressWidth);
    info.gateway = r.CString(kGateway, kAddressWidth);
    info.dnsAuto = 0;
    info.dns1 = r.CString(kDns1, kAddressWidth);
    info.dns2 = r.CString(kDns2, kAddressWidth);
    info.httpPort = r.U16Le(kHttpPort);
    info.ipMode = r.U8(kAddressMode) == 1 ? 1 : 2;
    info.ddnsEnabled = 1;
    info.ddnsHost = r.CString(kDdnsHost, kDdnsHostWidth);
    info.ddnsHost2 = r.CString(kDdnsHost2, kDdnsHostWidth);
    info.ddnsUser = r.CString(kDdnsUser, kDdnsAccountWidth);
    info.ddnsPassword = r.CString(kDdnsPassword, kDdnsAccountWidth);
    info.ddnsPort = 808;
    info.ddnsOption = 0;
    info.userName = r.CString(kUser, kAccountWidth);
    info.userPassword = r.CString(kPassword, kAccountWidth);
    return true;
}

TBytes BuildDhSettingsRequest(std::string_view user, std::string_view password,
                              const TDevInfo& settings) {
    TByteWriter out(kDhSettingsRequestSize);
    PutHeader(out, kSettings);
    PutText(out, kIp, settings.ip, kAddressWidth);
    PutText(out, kMask, settings.mask, kAddressWidth);
    PutText(out, kGateway, settings.gateway, kAddressWidth);
    PutText(out, kDns1, settings.dns1, kAddressWidth);
    PutText(out, kDns2, settings.dns2, kAddressWidth);
    PutText(out, kName, settings.name, kNameWidth);
    PutText(out, kVersion, settings.version, kVersionWidth);
    for (std::size_t i = 0; i < kMacWidth && 2 * i + 1 < settings.macKey.size(); ++i) {
        const int high = HexValue(settings.macKey[2 * i]);
        const int low = HexValue(settings.macKey[2 * i + 1]);
        if (high < 0 || low < 0)
            break;
        out.PutU8(kMac + i, static_cast<std::uint8_t>(high * 16 + low));
    }
    out.PutU16Le(kHttpPort, settings.httpPort);
    PutText(out, kUser, user, kAccountWidth);
    PutText(out, kPassword, password, kAccountWidth);
    out.PutU8(kAddressMode, settings.ipMode == 2 ? 0 : 1);
    return out.Take();
}

std::optional<std::uint32_t> ParseDhSettingsAck(TByteView datagram) {
    if (!HasHeader(datagram, kSettings, kFromDevice))
        return std::nullopt;
    const auto limited = datagram.subspan(0, std::min(datagram.size(), kDhSettingsAckMax));
    return TByteReader(limited).U32Le(kAckStatus);
}

std::string DhStatusUrl(std::string_view baseUrl, std::string_view user,
                        std::string_view password) {
    return Query(baseUrl, "/get_Status.cgi", "user", user, "pwd", password);
}

std::string DhSysVersionOf(std::string_view statusPage) {
    constexpr std::string_view kItem = "sys_ver=\"";
    const auto item = statusPage.find(kItem);
    if (item == std::string_view::npos)
        return {};
    std::string_view rest = statusPage.substr(item + kItem.size());
    return std::string(rest.substr(0, rest.find('"')));
}

std::string DhHostOf(std::string_view baseUrl) {
    const auto slashes = baseUrl.find("//");
    std::string_view host =
        slashes == std::string_view::npos ? baseUrl : baseUrl.substr(slashes + 2);
    return std::string(host.substr(0, host.find(':')));
}

std::string DhFirmwareUploadUrl(std::string_view baseUrl, std::string_view user,
                                std::string_view password, std::string_view version) {
    // Plain byte order on purpose: the devices' own tools compare the texts, so "9..." counts
    // as newer and "100..." as older.
    std::string address;
    if (version.compare(kDhPort8600Version) < 0)
        address = std::string(baseUrl);
    else
        address = "http://" + DhHostOf(baseUrl) + ":8600";
    return Query(address, "/upgrade_firmware.cgi", "loginuse", user, "loginpas", password);
}

std::string DhWebUiUploadUrl(std::string_view baseUrl, std::string_view user,
                             std::string_view password) {
    return Query(baseUrl, "/upgrade_htmls.cgi", "loginuse", user, "loginpas", password);
}

} // namespace zadari
