#include "protocols/FamilyTable.h"

#include "protocols/CommaText.h"
#include "protocols/Ctp.h"
#include "protocols/Dispatch.h"
#include "protocols/Hds.h"
#include "protocols/Kt352.h"
#include "protocols/Moi.h"
#include "protocols/Port6801.h"
#include "protocols/Uicam.h"

#include <algorithm>

namespace zadari {

namespace {

// Magics are compared on the text before the first NUL, so a NUL inside a magic's length makes
// it not match; the parsers still get the whole datagram.
template <const std::string_view& Magic> bool StartsWithMagic(std::string_view datagram) {
    return datagram.substr(0, datagram.find('\0')).starts_with(Magic);
}

template <bool (*Parse)(std::string_view, TDevInfo&)>
bool ParseOnly(std::string_view datagram, TDevInfo& record, const TDispatchContext&) {
    return Parse(datagram, record);
}

constexpr std::string_view kKt352Reply = "KT352";
constexpr std::string_view kPeltraReply = "PELTRAREPLY";
constexpr std::string_view kZorixReply = "ZORIXREPLY";
constexpr std::string_view kZorixNetReply = "ZORIXNETREPLY";
constexpr std::string_view kMoiReply = "MO_I";
constexpr std::string_view kUicamReply = "uiv2";
constexpr std::string_view kCtpReply = "REPLY";
constexpr std::string_view kHdsReply = "HDS/1.0 200 OK";

bool Is6801Message(std::string_view datagram) {
    return datagram.size() >= 3 && datagram[0] == '\x10' && datagram[1] == '\x10';
}

const char* Kt352Failure(const TSetRequest& r) {
    return BuildKt352SetCommand(r.listed, r.edited) ? ""
                                                    : "nothing differs from the listed settings";
}

const char* UicamFailure(const TSetRequest& r) {
    return r.listed.HasRawReply()
               ? ""
               : "the device's reply was not kept, so its command cannot be built";
}

TFamilyRow Kt352Row() {
    TFamilyRow row;
    row.code = kFamilyKt352;
    row.name = "kt352";
    row.letters = "E";
    row.isReply = &StartsWithMagic<kKt352Reply>;
    row.parseReply = &ParseOnly<ParseKt352Reply>;
    row.searchStep = 4;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendKt352Query(q.sender, q.targets.kt352Port);
    };
    row.endpoint = TEndpointRole::kGeneral;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetKt352Network(r.listed, r.edited, r.sender, r.targets.kt352Port);
    };
    row.explainFailure = &Kt352Failure;
    // The port item holds four characters.
    row.maxHttpPort = 9999;
    return row;
}

TFamilyRow PeltraRow() {
    TFamilyRow row;
    row.code = kFamilyPeltra;
    row.name = "peltra";
    row.letters = "M";
    row.isReply = &StartsWithMagic<kPeltraReply>;
    row.parseReply = &ParseOnly<ParsePeltraReply>;
    // The PELTRA query also carries the ZORIX one.
    row.searchStep = 1;
    row.everyThirdTick = true;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendPeltraAndZorixQueries(q.sender, q.targets.commaTextPort);
    };
    row.endpoint = TEndpointRole::kGeneral;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetPeltraNetwork(r.listed, r.edited, r.user, r.password, r.sender,
                                r.targets.commaTextPort);
    };
    row.command3 = &SendPeltraCommand3;
    row.account = TAccountPresets::kAdminBlank;
    row.needsProtocolVersion2 = true;
    return row;
}

TFamilyRow MoiRow() {
    TFamilyRow row;
    row.code = kFamilyMoi;
    row.name = "moi";
    row.letters = "F";
    row.isReply = &StartsWithMagic<kMoiReply>;
    row.parseReply = &ParseOnly<ParseMoiReply>;
    row.searchStep = 5;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendMoiQuery(q.sender, q.targets.moiPort);
    };
    row.endpoint = TEndpointRole::kMoi;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetMoiNetwork(r.listed, r.edited, r.user, r.password, r.sender, r.targets.moiPort);
    };
    row.account = TAccountPresets::kAdminBlank;
    row.nameEditable = false;
    row.ipModeShown = false;
    row.upgrade = TUpgradeKind::kQueryAuthForm;
    return row;
}

TFamilyRow UicamRow() {
    TFamilyRow row;
    row.code = kFamilyUicam;
    row.name = "uicam";
    row.letters = "F1";
    row.isReply = &StartsWithMagic<kUicamReply>;
    row.parseReply = &ParseOnly<ParseUicamReply>;
    row.searchStep = 6;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendUicamQuery(q.sender, q.targets.uicamPort);
    };
    row.endpoint = TEndpointRole::kUicam;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetUicamNetwork(r.listed, r.edited, r.sender, r.targets.uicamPort);
    };
    row.explainFailure = &UicamFailure;
    row.nameEditable = false;
    row.pppoeOffered = false;
    row.upgrade = TUpgradeKind::kFamily9Client;
    return row;
}

TFamilyRow SdkRow() {
    TFamilyRow row;
    row.code = kFamilySdk;
    row.name = "sdk";
    row.letters = "H";
    // Found by the vendor library's search, step 10 of the Find button's cycle.
    row.searchStep = 10;
    row.carrier = TCommandCarrier::kVendorLibrary;
    row.account = TAccountPresets::kAdminVendor;
    row.storesAccount = true;
    row.agesOut = false;
    return row;
}

TFamilyRow CtpRow() {
    TFamilyRow row;
    row.code = kFamilyCtp;
    row.name = "ctp";
    row.letters = "E";
    row.isReply = &StartsWithMagic<kCtpReply>;
    row.parseReply = &ParseOnly<ParseCtpReply>;
    row.searchStep = 7;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendCtpSearch(q.sender, q.targets.ctpPort);
    };
    row.endpoint = TEndpointRole::kCtp;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetCtpNetwork(r.listed, r.edited, r.password, r.sender, r.targets.ctpPort);
    };
    row.account = TAccountPresets::kAdminVendor;
    row.storesAccount = true;
    row.busyCursor = true;
    return row;
}

TFamilyRow HdsRow() {
    TFamilyRow row;
    row.code = kFamilyHds;
    row.name = "hds";
    row.letters = "V";
    row.isReply = &StartsWithMagic<kHdsReply>;
    row.parseReply = &ParseOnly<ParseHdsReply>;
    row.searchStep = 9;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendHdsSearch(q.sender, q.clientId, q.targets.multicastGroup,
                             q.targets.multicastPort);
    };
    row.endpoint = TEndpointRole::kMulticast;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetHdsNetwork(r.listed, r.edited, r.user, r.password, r.clientId, r.sender,
                             r.targets.multicastGroup, r.targets.multicastPort);
    };
    row.account = TAccountPresets::kAdminVendor;
    row.storesAccount = true;
    row.busyCursor = true;
    row.refusesZeroGateway = true;
    row.pppoeOffered = false;
    return row;
}

TFamilyRow ZorixRow() {
    TFamilyRow row;
    row.code = kFamilyZorix;
    row.name = "zorix";
    row.letters = "F2";
    row.isReply = &StartsWithMagic<kZorixReply>;
    row.parseReply = &ParseOnly<ParseZorixReply>;
    // Its query goes out with PELTRA's (step 1); it takes no setting command.
    return row;
}

TFamilyRow Bin6801Row() {
    TFamilyRow row;
    row.code = kFamily6801;
    row.name = "bin6801";
    row.letters = "H";
    row.isReply = &Is6801Message;
    row.parseReply = &Handle6801Message;
    row.searchStep = 8;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendBin6801Search(q.sender, q.targets.bin6801Port);
    };
    row.endpoint = TEndpointRole::kBin6801;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetBin6801Network(r.listed, r.edited, r.sender, r.targets.bin6801Port);
    };
    row.account = TAccountPresets::kAdminBlank;
    row.storesAccount = true;
    row.busyCursor = true;
    row.pppoeOffered = false;
    return row;
}

TFamilyRow DhRow() {
    TFamilyRow row;
    row.code = kFamilyDh;
    row.name = "dh";
    row.letters = "T";
    // Found by the family-9 client's own search, step 3 of every cycle.
    row.searchStep = 3;
    row.carrier = TCommandCarrier::kFamily9Client;
    row.account = TAccountPresets::kAdminBlank;
    row.pppoeOffered = false;
    row.upgrade = TUpgradeKind::kFamily9Client;
    return row;
}

TFamilyRow ZorixNetRow() {
    TFamilyRow row;
    row.code = kFamilyZorixNet;
    row.name = "zorixnet";
    row.letters = "NAS";
    row.isReply = &StartsWithMagic<kZorixNetReply>;
    row.parseReply = &ParseOnly<ParseZorixNetReply>;
    // The IP echo query goes out with ZORIXNET's.
    row.searchStep = 2;
    row.sendQuery = [](const TQueryRequest& q) {
        return SendIpAndZorixNetQueries(q.sender, q.targets.commaTextPort);
    };
    row.endpoint = TEndpointRole::kGeneral;
    row.carrier = TCommandCarrier::kDatagram;
    row.setCommand = [](const TSetRequest& r) {
        return SetZorixNetNetwork(r.listed, r.edited, r.user, r.password, r.sender,
                                  r.targets.commaTextPort);
    };
    row.account = TAccountPresets::kAdminBlank;
    return row;
}

// Devices found only by a standard discovery protocol (their providers search; rows of other
// families get the same findings attached). UPnP and mDNS devices take no setting command.
TFamilyRow StandardRow(std::int32_t code, std::string_view name, std::string_view letters,
                       int step) {
    TFamilyRow row;
    row.code = code;
    row.name = name;
    row.letters = letters;
    row.searchStep = step;
    row.noCommandMessage = "IDS_STDNOTSUPPORTED";
    row.nameEditable = false;
    row.ipModeShown = false;
    row.pppoeOffered = false;
    row.standard = true;
    return row;
}

// A device found only by ONVIF: its device management service reads and takes the settings
// (Dynamic or Fixed IP, no PPPoE) with the account asked as for the other families.
TFamilyRow OnvifRow() {
    TFamilyRow row = StandardRow(kFamilyOnvif, "onvif", "ONVIF", 11);
    row.noCommandMessage = nullptr;
    row.carrier = TCommandCarrier::kOnvifClient;
    row.account = TAccountPresets::kAdminBlank;
    row.busyCursor = true;
    row.nameEditable = true;
    row.ipModeShown = true;
    return row;
}

const std::array<TFamilyRow, 14>& Table() {
    // Built once; every row is constant afterwards. No two reply magics are a prefix of one
    // another, so the order of the rows does not decide which parser gets a datagram.
    static const std::array<TFamilyRow, 14> table = {
        Kt352Row(),
        PeltraRow(),
        MoiRow(),
        UicamRow(),
        SdkRow(),
        CtpRow(),
        HdsRow(),
        ZorixRow(),
        Bin6801Row(),
        DhRow(),
        OnvifRow(),
        StandardRow(kFamilyUpnp, "upnp", "UPnP", 12),
        StandardRow(kFamilyMdns, "mdns", "mDNS", 13),
        ZorixNetRow(),
    };
    return table;
}

} // namespace

std::span<const TFamilyRow> Families() {
    return Table();
}

const TFamilyRow* FindFamily(std::int32_t code) {
    const auto& table = Table();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [code](const TFamilyRow& row) { return row.code == code; });
    return it == table.end() ? nullptr : &*it;
}

std::string FamilyLetters(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row ? std::string(row->letters) : std::string();
}

} // namespace zadari
