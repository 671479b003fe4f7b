#include "protocols/Moi.h"

#include "protocols/ByteReader.h"
#include "protocols/ByteWriter.h"
#include "protocols/CommaText.h"
#include "protocols/Encoding.h"

#include <string>

namespace zadari {

namespace {

constexpr std::size_t kHeaderSize = 23;
constexpr std::size_t kReplyBufferSize = 279;

std::string DottedAt(const TByteReader& in, std::size_t offset) {
    return std::to_string(in.U8(offset)) + "." + std::to_string(in.U8(offset + 1)) + "." +
           std::to_string(in.U8(offset + 2)) + "." + std::to_string(in.U8(offset + 3));
}

void PutHeader(TByteWriter& out, std::uint16_t command, std::uint32_t bodyLength) {
    out.PutRaw(0, kMoiMagic);
    out.PutU16Le(4, command);
    out.PutU32Le(15, bodyLength);
}

} // namespace

bool IsWellFormedUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t need = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
            if (b0 == 0xE0)
                lo = 0xA0; // no overlong forms
            else if (b0 == 0xED)
                hi = 0x9F; // no surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
            if (b0 == 0xF0)
                lo = 0x90;
            else if (b0 == 0xF4)
                hi = 0x8F; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (bytes.size() - i - 1 < need)
            return false;
        for (std::size_t k = 1; k <= need; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            const unsigned char l = k == 1 ? lo : 0x80;
            const unsigned char h = k == 1 ? hi : 0xBF;
            if (b < l || b > h)
                return false;
        }
        i += need + 1;
    }
    return true;
}

std::optional<std::array<std::uint8_t, 4>> DottedToBytes(std::string_view text) {
    std::array<std::uint8_t, 4> out{};
    for (std::size_t part = 0; part < 4; ++part) {
        std::string_view piece = text;
        if (const auto dot = text.find('.'); dot != std::string_view::npos) {
            piece = text.substr(0, dot);
            text.remove_prefix(dot + 1);
        } else {
            text = {};
        }
        const auto value = ParseDecimal(piece);
        if (!value)
            return std::nullopt;
        out[part] = static_cast<std::uint8_t>(*value & 0xFF);
    }
    return out;
}

TBytes BuildMoiQuery() {
    TByteWriter out(kMoiQuerySize);
    PutHeader(out, 0, 4);
    out.PutU8(26, 1);
    return out.Take();
}

bool SendMoiQuery(TDatagramSender& sender, std::uint16_t port) {
    const TBytes msg = BuildMoiQuery();
    try {
        (void)sender.SendTo(msg, kBroadcastAddress, port);
    } catch (...) {
        // The search goes on with the next family.
    }
    return true;
}

bool ParseMoiReply(std::string_view datagram, TDevInfo& record) {
    const TByteReader in(datagram.substr(0, kReplyBufferSize));
    const std::uint32_t bodyLength = in.U32Le(15);
    if (in.U16Le(4) != 1 || (bodyLength != 64 && bodyLength != 65 && bodyLength != 195))
        return false;
    const std::size_t b = kHeaderSize;
    record.family = kFamilyMoi;
    record.ipMode = 2;
    record.mac = in.CString(b + 0, 13);
    record.macKey = MacKeyOf(record.mac);
    // A name that is not UTF-8 (or whose last character was cut at 21 bytes) is not shown at
    // all rather than shown garbled.
    std::string name = in.CString(b + 13, 21);
    record.name = IsWellFormedUtf8(name) ? std::move(name) : std::string();
    record.ip = DottedAt(in, b + 34);
    record.mask = DottedAt(in, b + 38);
    record.gateway = DottedAt(in, b + 42);
    record.dns1 = DottedAt(in, b + 46);
    record.version = DottedAt(in, b + 54) + ":" + DottedAt(in, b + 58);
    record.httpPort = in.U16Be(b + 62);
    if (bodyLength == 195) {
        record.ipMode = in.U8(b + 64) == 1 ? 1 : 2;
        record.ddnsHost = in.CString(b + 65, 65);
        record.ddnsUser = in.CString(b + 130, 65);
    }
    return true;
}

std::optional<TBytes> BuildMoiSetCommand(const TDevInfo& edited, std::string_view userName,
                                         std::string_view password) {
    const auto ip = DottedToBytes(edited.ip);
    const auto mask = DottedToBytes(edited.mask);
    const auto gateway = DottedToBytes(edited.gateway);
    const auto dns1 = DottedToBytes(edited.dns1);
    if (!ip || !mask || !gateway || !dns1)
        return std::nullopt;
    TByteWriter out(kMoiSetCommandSize);
    PutHeader(out, 2, 61);
    out.PutFixedText(27, edited.mac, 13);
    out.PutFixedText(40, userName, 13);
    out.PutFixedText(53, password, 13);
    out.PutRaw(66, *ip);
    out.PutRaw(70, *mask);
    out.PutRaw(74, *gateway);
    out.PutRaw(78, *dns1);
    out.PutU16Be(82, edited.httpPort);
    return out.Take();
}

bool SetMoiNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                   std::string_view password, TDatagramSender& sender, std::uint16_t port) {
    (void)listed;
    (void)port;
    const auto msg = BuildMoiSetCommand(edited, userName, password);
    if (!msg)
        return false;
    try {
        return sender.SendTo(*msg, kBroadcastAddress, kMoiPort);
    } catch (...) {
        return false;
    }
}

} // namespace zadari
