#include "protocols/DevInfoFields.h"

#include "protocols/Encoding.h"

#include <array>

namespace zadari {

namespace {

// clang-format off
const std::array<TDevInfoField, 37> kFields = {{
    // name             member                        compared export table
    {"protocolVersion", &TDevInfo::protocolVersion,   false,   0,     nullptr},
    {"family",          &TDevInfo::family,            true,    0,     nullptr},
    {"mac",             &TDevInfo::mac,               false,   4,     "MAC"},
    {"macKey",          &TDevInfo::macKey,            false,   0,     nullptr},
    {"deviceId",        &TDevInfo::deviceId,          false,   0,     nullptr},
    {"name",            &TDevInfo::name,              true,    1,     "Name"},
    {"version",         &TDevInfo::version,           true,    0,     "Version"},
    {"ip",              &TDevInfo::ip,                true,    2,     "IP"},
    {"mask",            &TDevInfo::mask,              true,    0,     nullptr},
    {"gateway",         &TDevInfo::gateway,           true,    0,     nullptr},
    {"sdkText",         &TDevInfo::sdkText,           false,   0,     nullptr},
    {"dnsAuto",         &TDevInfo::dnsAuto,           false,   0,     nullptr},
    {"dns1",            &TDevInfo::dns1,              true,    0,     nullptr},
    {"dns2",            &TDevInfo::dns2,              true,    0,     nullptr},
    {"httpPort",        &TDevInfo::httpPort,          true,    3,     "Port"},
    {"dataPort",        &TDevInfo::dataPort,          true,    0,     nullptr},
    {"sdkWord",         &TDevInfo::sdkWord,           false,   0,     nullptr},
    {"ipMode",          &TDevInfo::ipMode,            true,    0,     nullptr},
    {"ddnsEnabled",     &TDevInfo::ddnsEnabled,       false,   0,     nullptr},
    {"ddnsUser",        &TDevInfo::ddnsUser,          true,    0,     nullptr},
    {"ddnsPassword",    &TDevInfo::ddnsPassword,      true,    0,     nullptr},
    {"ddnsHost",        &TDevInfo::ddnsHost,          true,    0,     nullptr},
    {"ddnsHost2",       &TDevInfo::ddnsHost2,         false,   0,     nullptr},
    {"ddnsPort",        &TDevInfo::ddnsPort,          false,   0,     nullptr},
    {"uicamLow4",       &TDevInfo::uicamLow4,         false,   0,     nullptr},
    {"ddnsOption",      &TDevInfo::ddnsOption,        false,   0,     nullptr},
    {"uicamLow3",       &TDevInfo::uicamLow3,         false,   0,     nullptr},
    {"uicamBit7",       &TDevInfo::uicamBit7,         false,   0,     nullptr},
    {"uicamBits45",     &TDevInfo::uicamBits45,       false,   0,     nullptr},
    {"uicamPairA",      &TDevInfo::uicamPairA,        false,   0,     nullptr},
    {"uicamPairB",      &TDevInfo::uicamPairB,        false,   0,     nullptr},
    {"userName",        &TDevInfo::userName,          false,   0,     nullptr},
    {"userPassword",    &TDevInfo::userPassword,      false,   0,     nullptr},
    {"sdkValue",        &TDevInfo::sdkValue,          false,   0,     nullptr},
    {"age",             &TDevInfo::age,               false,   0,     nullptr},
    {"rawReply",        &TDevInfo::rawReply,          false,   0,     nullptr},
    {"binWord",         &TDevInfo::binWord,           false,   0,     nullptr},
}};
// clang-format on

struct TDiffers {
    const TDevInfo& a;
    const TDevInfo& b;
    template <typename T> bool operator()(T TDevInfo::*m) const { return a.*m != b.*m; }
};

struct TText {
    const TDevInfo& record;
    std::string operator()(std::string TDevInfo::*m) const { return record.*m; }
    std::string operator()(TBytes TDevInfo::*m) const { return BytesToHex(record.*m); }
    template <typename T> std::string operator()(T TDevInfo::*m) const {
        return std::to_string(static_cast<long long>(record.*m));
    }
};

} // namespace

std::span<const TDevInfoField> DevInfoFields() {
    return kFields;
}

bool ComparedFieldsDiffer(const TDevInfo& a, const TDevInfo& b) {
    for (const TDevInfoField& field : kFields) {
        if (field.compared && std::visit(TDiffers{a, b}, field.member))
            return true;
    }
    return false;
}

std::string FieldText(const TDevInfo& record, const TDevInfoField& field) {
    return std::visit(TText{record}, field.member);
}

} // namespace zadari
