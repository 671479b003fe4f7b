#include "protocols/Kt352.h"

#include "protocols/ByteReader.h"
#include "protocols/Encoding.h"

#include <string>

namespace zadari {

namespace {

enum TKt352Tag : std::uint8_t {
    kTagMac = 0x10,
    kTagIp = 0x11,
    kTagMask = 0x12,
    kTagGateway = 0x13,
    kTagPort = 0x14,
    kTagIpMode = 0x1F,
    kTagName = 0x20,
    kTagVersion = 0x21,
    kTagDdnsUser = 0x22,
    kTagDdnsPassword = 0x23,
    kTagDns1 = 0x24,
    kTagDdnsHost = 0x25,
    kTagDdnsOption = 0x26,
    kTagDns2 = 0x28,
};

struct TItemRow {
    std::uint8_t tag;
    std::uint8_t length;
};

// The item table in the order the query carries it; the lengths are also the fixed widths at
// which a reply's values are read.
constexpr TItemRow kItems[] = {
    {kTagMac, 6},       {kTagName, 16},         {kTagVersion, 16}, {kTagIp, 4},
    {kTagMask, 4},      {kTagGateway, 4},       {kTagPort, 4},     {kTagIpMode, 4},
    {kTagDdnsUser, 16}, {kTagDdnsPassword, 16}, {kTagDns1, 4},     {kTagDns2, 4},
    {kTagDdnsHost, 30}, {kTagDdnsOption, 1},
};

const TItemRow* RowOf(std::uint8_t tag) {
    for (const auto& row : kItems)
        if (row.tag == tag)
            return &row;
    return nullptr;
}

// Tag and length; PutItem pads the value with zeros from the template when no value is given.
TBytes TemplateRow(std::uint8_t tag) {
    const TItemRow* row = RowOf(tag);
    TBytes out{tag, row ? row->length : std::uint8_t{0}};
    if (row)
        out.resize(2u + row->length, 0);
    return out;
}

std::size_t ItemSize(std::uint8_t tag) {
    const TItemRow* row = RowOf(tag);
    return row ? 2u + row->length : 2u;
}

std::string DottedAt(const TByteReader& in, std::size_t offset) {
    return std::to_string(in.U8(offset)) + "." + std::to_string(in.U8(offset + 1)) + "." +
           std::to_string(in.U8(offset + 2)) + "." + std::to_string(in.U8(offset + 3));
}

void ReadItem(const TByteReader& in, std::uint8_t tag, std::size_t value, TDevInfo& r) {
    switch (tag) {
    case kTagMac: {
        const auto mac = in.Array<6>(value);
        r.mac = BytesToHex(mac.data(), mac.size());
        r.macKey = MacKeyOf(r.mac);
        break;
    }
    case kTagName:
        r.name = in.CString(value, 16);
        break;
    case kTagVersion:
        r.version = in.CString(value, 16);
        break;
    case kTagIp:
        r.ip = DottedAt(in, value);
        break;
    case kTagMask:
        r.mask = DottedAt(in, value);
        break;
    case kTagGateway:
        r.gateway = DottedAt(in, value);
        break;
    case kTagPort:
        r.httpPort = in.U16Le(value);
        break;
    case kTagIpMode:
        if (in.U8(value) == 1)
            r.ipMode = 0;
        else if (in.U8(value + 2) == 1)
            r.ipMode = 1;
        else
            r.ipMode = 2;
        break;
    case kTagDdnsUser:
        r.ddnsUser = in.CString(value, 16);
        break;
    case kTagDdnsPassword:
        r.ddnsPassword = in.CString(value, 16);
        break;
    case kTagDns1:
        r.dns1 = DottedAt(in, value);
        break;
    case kTagDns2:
        r.dns2 = DottedAt(in, value);
        break;
    case kTagDdnsHost:
        r.ddnsHost = in.CString(value, 30);
        break;
    case kTagDdnsOption:
        r.ddnsOption = in.U8(value);
        break;
    default:
        break;
    }
}

bool SendQuiet(TDatagramSender& sender, TByteView bytes, std::uint16_t port) {
    return GuardedSend(sender, bytes, kBroadcastAddress, port);
}

void PutValue(TBytes& msg, std::uint8_t tag, TByteView value) {
    PutItem(msg, TemplateRow(tag), value, ItemSize(tag));
}

void PutText(TBytes& msg, std::uint8_t tag, std::string_view text) {
    // PutItem takes the first n - 2 bytes and pads with zeros: the text cut and NUL-padded.
    PutValue(msg, tag, ToByteView(text));
}

void PutAddress(TBytes& msg, std::uint8_t tag, std::string_view text) {
    const auto bytes = InetAddrBytes(text);
    PutValue(msg, tag, bytes);
}

bool Differs(std::string_view a, std::string_view b) {
    return CompareText(a, b) != 0;
}

// Parses one inet_addr part starting at `i`; false when the part is not a number.
bool ReadInetPart(std::string_view text, std::size_t& i, std::uint64_t& value) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (i >= text.size() || !isDigit(text[i]))
        return false;
    unsigned base = 10;
    if (text[i] == '0') {
        ++i;
        if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
            base = 16;
            ++i;
        } else {
            base = 8;
        }
    }
    value = 0;
    for (; i < text.size(); ++i) {
        const int d = hexValue(text[i]);
        if (d < 0 || (base != 16 && d > 9))
            break;
        if (base == 8 && d > 7)
            return false;
        value = value * base + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFu)
            return false;
    }
    return true;
}

} // namespace

std::array<std::uint8_t, 4> InetAddrBytes(std::string_view text) {
    constexpr std::array<std::uint8_t, 4> kNone = {0xFF, 0xFF, 0xFF, 0xFF};
    // The C text ends at its first NUL.
    text = text.substr(0, text.find('\0'));
    std::uint64_t parts[4] = {};
    std::size_t count = 0;
    std::size_t i = 0;
    for (;;) {
        std::uint64_t value = 0;
        if (!ReadInetPart(text, i, value))
            return kNone;
        parts[count++] = value;
        if (i < text.size() && text[i] == '.') {
            if (count == 4)
                return kNone;
            ++i;
            continue;
        }
        break;
    }
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f')
            return kNone;
    }
    // The last part fills the bytes the earlier parts leave.
    std::uint64_t address = 0;
    const std::uint64_t lastLimit = 0xFFFFFFFFull >> (8 * (count - 1));
    if (parts[count - 1] > lastLimit)
        return kNone;
    for (std::size_t p = 0; p + 1 < count; ++p) {
        if (parts[p] > 0xFF)
            return kNone;
        address |= parts[p] << (24 - 8 * p);
    }
    address |= parts[count - 1];
    return {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
}

TBytes BuildKt352Query() {
    TBytes msg(kKt352Magic.begin(), kKt352Magic.end());
    for (const auto& row : kItems)
        PutItem(msg, TemplateRow(row.tag), ItemSize(row.tag));
    msg.resize(kKt352MessageSize, 0);
    return msg;
}

bool SendKt352Query(TDatagramSender& sender, std::uint16_t port) {
    const TBytes msg = BuildKt352Query();
    return SendQuiet(sender, msg, port);
}

bool ParseKt352Reply(std::string_view datagram, TDevInfo& record) {
    if (datagram.substr(0, kKt352Magic.size()) != kKt352Magic)
        return false;
    record.family = kFamilyKt352;
    const TByteReader in(datagram);
    std::size_t item = kKt352Magic.size();
    while (item + 1 < in.Size() && in.U8(item) != 0) {
        const std::uint8_t tag = in.U8(item);
        const std::size_t value = item + 2;
        // A value cut off by the end of the datagram is not read; the walk goes on by the
        // item's own length byte, which the loop condition keeps inside the datagram.
        if (const TItemRow* row = RowOf(tag); row && in.Has(value, row->length))
            ReadItem(in, tag, value, record);
        item = value + in.U8(item + 1);
    }
    return true;
}

std::optional<TBytes> BuildKt352SetCommand(const TDevInfo& listed, const TDevInfo& edited) {
    TBytes msg(kKt352Magic.begin(), kKt352Magic.end());
    PutValue(msg, kTagMac, HexToBytes(listed.mac, 6));

    bool changed = false;
    if (edited.mac != listed.mac && edited.mac.size() >= 6) {
        PutValue(msg, kTagMac, HexToBytes(edited.mac, 6));
        changed = true;
    }
    if (Differs(edited.name, listed.name)) {
        PutText(msg, kTagName, edited.name);
        changed = true;
    }
    if (Differs(edited.ip, listed.ip)) {
        PutAddress(msg, kTagIp, edited.ip);
        changed = true;
    }
    if (Differs(edited.mask, listed.mask)) {
        PutAddress(msg, kTagMask, edited.mask);
        changed = true;
    }
    if (Differs(edited.gateway, listed.gateway)) {
        PutAddress(msg, kTagGateway, edited.gateway);
        changed = true;
    }
    if (edited.httpPort != listed.httpPort) {
        // The devices read the port as up to four characters of text: 80 is "80" with two
        // NULs, and a five-digit port loses its last digit.
        PutText(msg, kTagPort, std::to_string(edited.httpPort).substr(0, 4));
        changed = true;
    }
    if (Differs(edited.ddnsUser, listed.ddnsUser)) {
        PutText(msg, kTagDdnsUser, edited.ddnsUser);
        changed = true;
    }
    if (Differs(edited.ddnsHost, listed.ddnsHost)) {
        PutText(msg, kTagDdnsHost, edited.ddnsHost);
        changed = true;
    }
    if (edited.ddnsOption != listed.ddnsOption) {
        const std::uint8_t option = static_cast<std::uint8_t>(edited.ddnsOption & 0xFF);
        PutValue(msg, kTagDdnsOption, TByteView(&option, 1));
        changed = true;
    }
    if (Differs(edited.ddnsPassword, listed.ddnsPassword)) {
        PutText(msg, kTagDdnsPassword, edited.ddnsPassword);
        changed = true;
    }
    if (Differs(edited.dns1, listed.dns1)) {
        PutAddress(msg, kTagDns1, edited.dns1);
        changed = true;
    }
    if (Differs(edited.dns2, listed.dns2)) {
        PutAddress(msg, kTagDns2, edited.dns2);
        changed = true;
    }

    std::array<std::uint8_t, 4> mode = {0xFF, 0xFF, 0xFF, 0xFF};
    if (edited.ipMode == 0)
        mode = {0x01, 0x01, 0xFF, 0xFF};
    else if (edited.ipMode == 1)
        mode = {0xFF, 0xFF, 0x01, 0x01};
    PutValue(msg, kTagIpMode, mode);

    if (!changed && edited.ipMode == listed.ipMode)
        return std::nullopt;
    msg.resize(kKt352MessageSize, 0);
    return msg;
}

bool Kt352CanCarryPort(const TDevInfo& listed, const TDevInfo& edited) {
    return edited.httpPort == listed.httpPort || edited.httpPort <= 9999;
}

bool SetKt352Network(const TDevInfo& listed, const TDevInfo& edited, TDatagramSender& sender,
                     std::uint16_t port) {
    // The port item holds four characters: a five-digit port would reach the camera as another
    // port, and the camera would then answer on an address nobody asked for.
    if (!Kt352CanCarryPort(listed, edited))
        return false;
    const auto msg = BuildKt352SetCommand(listed, edited);
    if (!msg)
        return false;
    sender.Pause(10);
    return SendQuiet(sender, *msg, port);
}

} // namespace zadari
