#include "protocols/Uicam.h"

#include "protocols/ByteReader.h"
#include "protocols/ByteWriter.h"
#include "protocols/Encoding.h"
#include "protocols/Moi.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace zadari {

namespace {

constexpr std::size_t kStringCount = 7;
constexpr std::size_t kFlagsA = 53;
constexpr std::size_t kFlagsB = 54;
constexpr std::size_t kStringStart = 52;

std::string IpText(const TByteReader& reader, std::size_t offset) {
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i != 0)
            text.push_back('.');
        text += std::to_string(reader.U8(offset + i));
    }
    return text;
}

/// The seven NUL-terminated strings of the area at 8 + byte 52. A string that runs to the end of
/// the buffer ends there; the strings after it are empty.
std::array<std::string, kStringCount> ReadStrings(const TByteReader& reader) {
    std::array<std::string, kStringCount> strings;
    std::size_t offset = 8 + std::size_t{reader.U8(kStringStart)};
    for (auto& s : strings) {
        s = reader.CString(offset);
        offset += s.size() + 1;
    }
    return strings;
}

/// The text after the first `key` up to the next "&" or the end.
bool ValueAfter(std::string_view text, std::string_view key, std::string& value) {
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos)
        return false;
    const std::string_view rest = text.substr(at + key.size());
    value = std::string(rest.substr(0, rest.find('&')));
    return true;
}

/// A C string ends at its first NUL byte; the device sees nothing after it.
std::string_view UpToNul(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

} // namespace

bool SendUicamQuery(TDatagramSender& sender, std::uint16_t port) {
    constexpr std::string_view kQuery = "uicam query";
    GuardedSend(sender, ToByteView(kQuery), kBroadcastAddress, port);
    return true;
}

bool ParseUicamReply(std::string_view datagram, TDevInfo& record) {
    if (!datagram.starts_with("uiv2"))
        return false;
    TBytes buffer(kUicamMessageSize, 0);
    const std::size_t kept = std::min(datagram.size(), kUicamMessageSize);
    std::copy_n(datagram.begin(), kept, buffer.begin());
    const TByteReader reader{TByteView(buffer)};

    record.family = kFamilyUicam;
    record.version = BytesToHex(buffer.data() + 4, 1) + "-" + BytesToHex(buffer.data() + 5, 1);
    record.mac = BytesToHex(buffer.data() + 8, 6);
    record.macKey = MacKeyOf(record.mac);
    record.httpPort = reader.U16Be(14);
    record.ip = IpText(reader, 16);
    record.gateway = IpText(reader, 20);
    record.mask = IpText(reader, 24);
    record.dns1 = IpText(reader, 28);
    record.dns2 = IpText(reader, 32);

    const std::uint8_t flagsA = reader.U8(kFlagsA);
    record.uicamBit7 = (flagsA >> 7) & 1;
    record.uicamBits45 = (flagsA >> 4) & 3;
    record.uicamLow4 = flagsA & 0x0F;
    const std::uint8_t flagsB = reader.U8(kFlagsB);
    record.ipMode = (flagsB & 0x80) != 0 ? 1 : (flagsB & 0x08) != 0 ? 0 : 2;
    record.uicamLow3 = flagsB & 0x07;

    const auto strings = ReadStrings(reader);
    const std::string& account = strings[0];
    const std::size_t colon = account.find(':');
    if (colon == std::string::npos) {
        record.userName = account;
    } else {
        record.userName = account.substr(0, colon);
        record.userPassword = account.substr(colon + 1);
    }
    record.ddnsHost = strings[2];
    ValueAfter(strings[4], "username=", record.ddnsUser);
    ValueAfter(strings[4], "userpwd=", record.ddnsPassword);
    const std::string& pair = strings[5];
    if (!pair.empty()) {
        const std::size_t sep = pair.find(':');
        if (sep == std::string::npos) {
            record.uicamPairA = pair;
            record.uicamPairB.clear();
        } else {
            record.uicamPairA = pair.substr(0, sep);
            record.uicamPairB = pair.substr(sep + 1);
        }
    }
    record.rawReply = std::move(buffer);
    return true;
}

bool BuildUicamSetCommand(const TDevInfo& listed, const TDevInfo& edited, TBytes& command) {
    if (!listed.HasRawReply())
        return false;
    const auto ip = DottedToBytes(edited.ip);
    const auto gateway = DottedToBytes(edited.gateway);
    const auto mask = DottedToBytes(edited.mask);
    const auto dns1 = DottedToBytes(edited.dns1);
    const auto dns2 = DottedToBytes(edited.dns2);
    if (!ip || !gateway || !mask || !dns1 || !dns2)
        return false;

    TBytes reply(kUicamMessageSize, 0);
    std::copy_n(listed.rawReply.begin(), std::min(listed.rawReply.size(), kUicamMessageSize),
                reply.begin());
    // The strings are the ones the device reported: read them before anything is rewritten.
    auto strings = ReadStrings(TByteReader{TByteView(reply)});
    strings[1].clear();
    strings[2] = std::string(UpToNul(edited.ddnsHost));
    strings[4] = "GET /api/userip.asp?username=" + std::string(UpToNul(edited.ddnsUser)) +
                 "&userpwd=" + std::string(UpToNul(edited.ddnsPassword)) +
                 "&tcpport=" + std::to_string(edited.httpPort) +
                 "&lanip=" + std::string(UpToNul(edited.ip)) + "&\r\n\r\n";
    std::size_t stringBytes = 0;
    for (const auto& s : strings)
        stringBytes += s.size() + 1;
    // Cutting a string would hand the device a different host or account than the one entered,
    // so a set of strings that does not fit is refused as a whole.
    if (stringBytes > kUicamMessageSize - kUicamCommandStrings)
        return false;

    TByteWriter out(kUicamMessageSize);
    out.PutRaw(0, TByteView(reply));
    out.PutRaw(0, std::string_view("uisp"));
    out.PutRaw(8, TByteView(HexToBytes(edited.mac, 6)));
    out.PutU16Be(14, edited.httpPort);
    out.PutRaw(16, TByteView(*ip));
    out.PutRaw(20, TByteView(*gateway));
    out.PutRaw(24, TByteView(*mask));
    out.PutRaw(28, TByteView(*dns1));
    out.PutRaw(32, TByteView(*dns2));

    std::uint8_t flagsA = reply[kFlagsA];
    if (edited.uicamBit7 == 1)
        flagsA |= 0x80;
    flagsA |= static_cast<std::uint8_t>((edited.uicamBits45 << 4) & 0xFF);
    flagsA |= static_cast<std::uint8_t>(edited.uicamLow4 & 0x0F);
    out.PutU8(kFlagsA, flagsA);

    std::uint8_t flagsB = reply[kFlagsB];
    switch (edited.ipMode) {
    case 0:
        // Bit 7 (dynamic) outranks bit 3 (PPPoE) when the device reads its flags back, so a
        // device switched from dynamic to PPPoE must lose bit 7 or it would stay dynamic.
        flagsB = static_cast<std::uint8_t>((flagsB & ~0x80) | 0x08);
        break;
    case 1:
        flagsB |= 0x80;
        break;
    case 2:
        flagsB = 0;
        break;
    default:
        break;
    }
    flagsB |= static_cast<std::uint8_t>(edited.uicamLow3 & 7);
    out.PutU8(kFlagsB, flagsB);
    out.PutU8(44, 0x80);

    std::size_t offset = kUicamCommandStrings;
    for (const auto& s : strings) {
        out.PutRaw(offset, std::string_view(s));
        out.PutU8(offset + s.size(), 0);
        offset += s.size() + 1;
    }
    command = out.Take();
    return true;
}

bool SetUicamNetwork(const TDevInfo& listed, const TDevInfo& edited, TDatagramSender& sender,
                     std::uint16_t port) {
    TBytes command;
    if (!BuildUicamSetCommand(listed, edited, command))
        return false;
    return GuardedSend(sender, command, kBroadcastAddress, port);
}

} // namespace zadari
