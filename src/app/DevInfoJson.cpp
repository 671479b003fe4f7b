#include "app/DevInfoJson.h"

#include "app/DeviceText.h"
#include "protocols/Encoding.h"

#include <cstdio>

namespace zadari {

const std::vector<TDevInfoField>& DevInfoFields() {
    static const std::vector<TDevInfoField> fields = {
        {"protocolVersion", &TDevInfo::protocolVersion},
        {"family", &TDevInfo::family},
        {"mac", &TDevInfo::mac},
        {"macKey", &TDevInfo::macKey},
        {"deviceId", &TDevInfo::deviceId},
        {"name", &TDevInfo::name},
        {"version", &TDevInfo::version},
        {"ip", &TDevInfo::ip},
        {"mask", &TDevInfo::mask},
        {"gateway", &TDevInfo::gateway},
        {"sdkText", &TDevInfo::sdkText},
        {"dnsAuto", &TDevInfo::dnsAuto},
        {"dns1", &TDevInfo::dns1},
        {"dns2", &TDevInfo::dns2},
        {"httpPort", &TDevInfo::httpPort},
        {"dataPort", &TDevInfo::dataPort},
        {"sdkWord", &TDevInfo::sdkWord},
        {"ipMode", &TDevInfo::ipMode},
        {"ddnsEnabled", &TDevInfo::ddnsEnabled},
        {"ddnsUser", &TDevInfo::ddnsUser},
        {"ddnsPassword", &TDevInfo::ddnsPassword},
        {"ddnsHost", &TDevInfo::ddnsHost},
        {"ddnsHost2", &TDevInfo::ddnsHost2},
        {"ddnsPort", &TDevInfo::ddnsPort},
        {"uicamLow4", &TDevInfo::uicamLow4},
        {"ddnsOption", &TDevInfo::ddnsOption},
        {"uicamLow3", &TDevInfo::uicamLow3},
        {"uicamBit7", &TDevInfo::uicamBit7},
        {"uicamBits45", &TDevInfo::uicamBits45},
        {"uicamPairA", &TDevInfo::uicamPairA},
        {"uicamPairB", &TDevInfo::uicamPairB},
        {"userName", &TDevInfo::userName},
        {"userPassword", &TDevInfo::userPassword},
        {"sdkValue", &TDevInfo::sdkValue},
        {"age", &TDevInfo::age},
        {"rawReply", &TDevInfo::rawReply},
        {"binWord", &TDevInfo::binWord},
    };
    return fields;
}

std::string JsonQuote(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

namespace {

std::string TextValue(const std::string& bytes) {
    return JsonQuote(DecodeDeviceText(bytes).toStdString());
}

struct TValueWriter {
    const TDevInfo& record;
    std::string operator()(std::string TDevInfo::*m) const { return TextValue(record.*m); }
    std::string operator()(std::int32_t TDevInfo::*m) const { return std::to_string(record.*m); }
    std::string operator()(std::uint16_t TDevInfo::*m) const { return std::to_string(record.*m); }
    std::string operator()(std::uint8_t TDevInfo::*m) const {
        return std::to_string(static_cast<unsigned>(record.*m));
    }
    std::string operator()(TBytes TDevInfo::*m) const {
        const TBytes& bytes = record.*m;
        return bytes.empty() ? std::string("null") : JsonQuote(BytesToHex(bytes));
    }
};

} // namespace

std::string DevInfoToJson(const TDevInfo& record) {
    std::string out = "{";
    bool first = true;
    auto add = [&](const char* name, const std::string& value) {
        if (!first)
            out += ", ";
        first = false;
        out += JsonQuote(name);
        out += ": ";
        out += value;
    };
    for (const TDevInfoField& field : DevInfoFields())
        add(field.name, std::visit(TValueWriter{record}, field.member));
    add("letters", JsonQuote(FamilyLetters(record.family)));
    out += "}";
    return out;
}

std::string DevInfoListToJson(const std::vector<const TDevInfo*>& records) {
    if (records.empty())
        return "[]\n";
    std::string out = "[\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        out += "  ";
        out += DevInfoToJson(*records[i]);
        out += i + 1 < records.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

} // namespace zadari
