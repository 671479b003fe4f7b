#include "protocols/Port6801.h"

#include "protocols/ByteReader.h"
#include "protocols/ByteWriter.h"
#include "protocols/Encoding.h"
#include "protocols/Moi.h"

namespace zadari {

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kBlockSize = 128;
constexpr std::size_t kNameWidth = 24;
// Widths of the dynamic-DNS texts: each ends where the next one begins; the password, the last,
// ends with the datagram.
constexpr std::size_t kDdnsHostAt = 142;
constexpr std::size_t kDdnsUserAt = 272;
constexpr std::size_t kDdnsPasswordAt = 336;

/// At most `maxBytes` of `text`, never ending inside a UTF-8 sequence of a well-formed text, so
/// that the device does not report back a name cut in the middle of a character.
std::string_view CutName(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    if (IsWellFormedUtf8(text))
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
    return text.substr(0, cut);
}

/// An answer: the device's first 8 bytes with `code` and a length of 128, then 128 bytes of the
/// device's message from `payloadAt`.
TBytes BuildAnswer(std::string_view datagram, std::uint16_t code, std::size_t payloadAt) {
    const TByteReader reader(datagram);
    TByteWriter out;
    out.Raw(TByteView(reader.Bytes(0, kHeaderSize)));
    out.PutU16Le(2, code);
    out.PutU16Le(6, static_cast<std::uint16_t>(kBlockSize));
    out.Raw(TByteView(reader.Bytes(payloadAt, kBlockSize)));
    return out.Take();
}

void PutBlock(TByteWriter& out, std::size_t at, const TDevInfo& record, std::uint8_t modeByte) {
    out.PutFixedText(at + 0, record.ip, 16);
    out.PutFixedText(at + 16, record.mask, 16);
    out.PutFixedText(at + 32, record.gateway, 16);
    out.PutFixedText(at + 48, record.dns1, 16);
    out.PutFixedText(at + 64, record.dns2, 16);
    out.PutU16Le(at + 80, record.httpPort);
    out.PutU16Le(at + 82, record.httpPort);
    out.PutU16Le(at + 84, record.httpPort);
    out.PutU16Le(at + 86, record.dataPort);
    out.PutRaw(at + 88, TByteView(HexToBytes(record.mac, 6)));
    out.PutU16Le(at + 94, record.binWord);
    out.PutRaw(at + 96, TByteView(HexToBytes(record.deviceId, 7)));
    out.PutU8(at + 103, modeByte);
    // 23 bytes at most, so the 24-byte field always ends with a NUL.
    out.PutFixedText(at + 104, CutName(record.name, kNameWidth - 1), kNameWidth);
}

} // namespace

std::uint16_t Message6801Code(std::string_view datagram) {
    if (datagram.size() < 4)
        return 0;
    return TByteReader(datagram).U16Le(2);
}

TBytes Build6801Search() {
    return {0x10, 0x10, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00};
}

bool SendBin6801Search(TDatagramSender& sender, std::uint16_t port) {
    const TBytes search = Build6801Search();
    GuardedSend(sender, search, kBroadcastAddress, port);
    return true;
}

TBytes Build6801SearchReply(std::string_view datagram) {
    return BuildAnswer(datagram, k6801SearchReply, 12);
}

bool Answer6801Search(std::string_view datagram, TDatagramSender* sender, std::uint16_t port) {
    if (Message6801Code(datagram) != k6801SearchAnswer)
        return false;
    if (sender != nullptr)
        GuardedSend(*sender, Build6801SearchReply(datagram), kBroadcastAddress, port);
    return true;
}

TBytes Build6801SettingsReply(std::string_view datagram) {
    return BuildAnswer(datagram, k6801SettingsReply, kHeaderSize);
}

bool Parse6801Settings(std::string_view datagram, TDevInfo& record, TDatagramSender* sender,
                       std::uint16_t port) {
    if (Message6801Code(datagram) != k6801Settings)
        return false;
    const TByteReader reader(datagram);
    constexpr std::size_t b = kHeaderSize;
    record.protocolVersion = 0;
    record.family = kFamily6801;
    record.ip = reader.CString(b + 0, 16);
    record.mask = reader.CString(b + 16, 16);
    record.gateway = reader.CString(b + 32, 16);
    record.dns1 = reader.CString(b + 48, 16);
    record.dns2 = reader.CString(b + 64, 16);
    record.httpPort = reader.U16Le(b + 80);
    record.dataPort = reader.U16Le(b + 86);
    record.mac = BytesToHex(reader.Bytes(b + 88, 6));
    record.macKey = MacKeyOf(record.mac);
    record.binWord = reader.U16Le(b + 94);
    record.deviceId = BytesToHex(reader.Bytes(b + 96, 7));
    record.ipMode = reader.U8(b + 103) != 0 ? 1 : 2;
    std::string name = reader.CString(b + 104, kNameWidth);
    record.name = IsWellFormedUtf8(name) ? std::move(name) : std::string();
    record.version = reader.CString(b + kBlockSize);
    if (sender != nullptr)
        GuardedSend(*sender, Build6801SettingsReply(datagram), kBroadcastAddress, port);
    return true;
}

bool Parse6801Ddns(std::string_view datagram, T6801Ddns& ddns) {
    if (Message6801Code(datagram) != k6801Ddns)
        return false;
    const TByteReader reader(datagram);
    ddns.mac = BytesToHex(reader.Bytes(96, 6));
    ddns.host = reader.CString(kDdnsHostAt, kDdnsUserAt - kDdnsHostAt);
    ddns.user = reader.CString(kDdnsUserAt, kDdnsPasswordAt - kDdnsUserAt);
    ddns.password = reader.CString(kDdnsPasswordAt);
    return true;
}

bool Is6801VersionListed(std::string_view version) {
    return version.starts_with("0.") || version.starts_with("10.");
}

bool Handle6801Message(std::string_view datagram, TDevInfo& record,
                       const TDispatchContext& context) {
    if (datagram.size() < 3 || datagram[0] != 0x10 || datagram[1] != 0x10)
        return false;
    if (Answer6801Search(datagram, context.sender6801, kPort6801))
        return false;
    if (Parse6801Settings(datagram, record, context.sender6801, kPort6801))
        return Is6801VersionListed(record.version);
    T6801Ddns ddns;
    if (!Parse6801Ddns(datagram, ddns) || !context.findRowByMac)
        return false;
    const TDevInfo* row = context.findRowByMac(ddns.mac);
    if (row == nullptr)
        return false;
    record = *row;
    record.ddnsHost = std::move(ddns.host);
    record.ddnsUser = std::move(ddns.user);
    record.ddnsPassword = std::move(ddns.password);
    return true;
}

TBytes Build6801SetCommand(const TDevInfo& listed, const TDevInfo& edited) {
    TByteWriter out(k6801SetCommandSize);
    out.PutU8(0, 0x10);
    out.PutU8(1, 0x10);
    out.PutU16Le(2, k6801SetNetwork);
    out.PutU16Le(4, 0);
    out.PutU16Le(6, static_cast<std::uint16_t>(2 * kBlockSize));
    PutBlock(out, kHeaderSize, listed, listed.ipMode);
    PutBlock(out, kHeaderSize + kBlockSize, edited, edited.ipMode != 2 ? 1 : 0);
    return out.Take();
}

bool SetBin6801Network(const TDevInfo& listed, const TDevInfo& edited, TDatagramSender& sender,
                       std::uint16_t port) {
    return GuardedSend(sender, Build6801SetCommand(listed, edited), kBroadcastAddress, port);
}

} // namespace zadari
