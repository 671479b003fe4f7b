#include "app/ApplyFlow.h"

#include "app/DeviceList.h"
#include "app/SearchEngine.h"
#include "i18n/StrRes.h"
#include "net/SearchEndpoints.h"
#include "protocols/CommaText.h"
#include "protocols/Ctp.h"
#include "protocols/Hds.h"
#include "protocols/Kt352.h"
#include "protocols/Moi.h"
#include "protocols/Port6801.h"
#include "protocols/Uicam.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string_view>
#include <thread>

namespace zadari {

namespace {

constexpr int kBranchWaitMs = 10;
constexpr const char* kDefaultAccount = "admin";
constexpr const char* kVendorPassword = "zeqit";

/// Blanks and control characters off both ends, as the panel's fields are read.
std::string Trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(begin, end - begin));
}

} // namespace

bool IsDottedAddress(std::string_view text) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t digits = 0;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return false;
        ++parts;
        if (i == text.size())
            return parts == 4;
        if (text[i] != '.' || parts == 4)
            return false;
        ++i;
    }
}

namespace {

bool FamilyAsksNoAccount(std::int32_t family) {
    return family == kFamilyKt352 || family == kFamilyUicam;
}

bool FamilyStoresAccount(std::int32_t family) {
    return family == kFamilySdk || family == kFamilyCtp || family == kFamilyHds ||
           family == kFamily6801;
}

bool FamilyShowsWaitCursor(std::int32_t family) {
    return family == kFamilyCtp || family == kFamilyHds || family == kFamily6801;
}

/// Passes every datagram on and keeps a copy of those that went out.
class TNotingSender : public TDatagramSender {
public:
    TNotingSender(TDatagramSender& inner, std::vector<TSentDatagram>& sent)
        : inner_(inner), sent_(sent) {}
    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override {
        const bool ok = inner_.SendTo(bytes, address, port);
        if (ok)
            sent_.push_back(TSentDatagram{address, port, TBytes(bytes.begin(), bytes.end())});
        return ok;
    }
    void Pause(int milliseconds) override { inner_.Pause(milliseconds); }

private:
    TDatagramSender& inner_;
    std::vector<TSentDatagram>& sent_;
};

std::string FamilyName(std::int32_t family) {
    return "family " + std::to_string(family);
}

} // namespace

TEditedValues TEditedValues::FromRecord(const TDevInfo& record) {
    TEditedValues values;
    values.name = record.name;
    // The port field keeps its value within 1..65535.
    values.portText = std::to_string(std::max<int>(1, record.httpPort));
    if (IpModeOffered(record.family, record.ipMode))
        values.ipMode = record.ipMode;
    values.ip = record.ip;
    values.mask = record.mask;
    values.gateway = record.gateway;
    return values;
}

bool NameEditable(std::int32_t family) {
    return family != kFamilyMoi && family != kFamilyUicam;
}

bool IpModeShown(std::int32_t family) {
    return family != kFamilyMoi;
}

bool IpModeOffered(std::int32_t family, int mode) {
    if (mode < 0 || mode > 2)
        return false;
    const bool withoutPppoe = family == kFamilyUicam || family == kFamilyHds ||
                              family == kFamily6801 || family == kFamilyDh;
    return !(withoutPppoe && mode == 0);
}

bool PortFitsCommand(std::int32_t family, std::uint16_t listedPort, int newPort) {
    return family != kFamilyKt352 || newPort == listedPort || newPort <= 9999;
}

std::optional<TCredentials> CredentialPresets(std::int32_t family) {
    switch (family) {
    case kFamilyPeltra:
    case kFamilyZorixNet:
    case kFamilyMoi:
    case kFamily6801:
    case kFamilyDh:
        return TCredentials{kDefaultAccount, ""};
    case kFamilySdk:
    case kFamilyCtp:
    case kFamilyHds:
        return TCredentials{kDefaultAccount, kVendorPassword};
    default:
        return std::nullopt;
    }
}

const char* ReasonText(TNotAppliedReason reason) {
    switch (reason) {
    case TNotAppliedReason::kNone:
        return "";
    case TNotAppliedReason::kNoCommand:
        return "the family has no network-setting command";
    case TNotAppliedReason::kProtocolVersion:
        return "the device's protocolVersion is not 2";
    case TNotAppliedReason::kCancelled:
        return "the account was not given";
    case TNotAppliedReason::kNoHandler:
        return "no client for this family is available";
    case TNotAppliedReason::kCommandFailed:
        return "the command reported failure";
    }
    return "";
}

TApplyFlow::TApplyFlow(TSearchEngine& engine, ICredentialsProvider& credentials)
    : engine_(engine), credentials_(credentials) {}

bool TApplyFlow::ReadDetailsInto(const TEditedValues& values, TDevInfo& record,
                                 std::string* messageKey, std::string* detail) {
    auto refuse = [&](const char* key, const char* captionKey, int style, std::string text) {
        if (key != nullptr && *key != '\0')
            StrResMessageBox(key, captionKey, style);
        if (messageKey)
            *messageKey = key ? key : "";
        if (detail)
            *detail = std::move(text);
        return false;
    };

    const std::string port = Trimmed(values.portText);
    if (port.empty())
        return refuse("IDS_INPUTPORT", "IDS_WARNING", MsgStyle::kIconWarning,
                      "the HTTP port is empty");
    if (!values.ipMode || !IpModeOffered(record.family, *values.ipMode))
        return refuse("IDS_ERRIPCAM", "IDS_ERROR", MsgStyle::kIconError,
                      "no connection type the family offers is selected");
    for (const std::string* address : {&values.ip, &values.mask, &values.gateway}) {
        if (!IsDottedAddress(*address))
            return refuse("", "", 0, "'" + *address + "' is not a dotted IPv4 address");
    }

    // A text that is not a number reads as 1; the field holds no port outside 1..65535.
    const int httpPort = std::clamp(DecimalOr(port, 1), 1, 65535);
    if (!PortFitsCommand(record.family, record.httpPort, httpPort))
        return refuse("IDS_PORTDIGITS", "IDS_ERROR", MsgStyle::kIconError,
                      "the HTTP port " + std::to_string(httpPort) + " has five digits; family " +
                          std::to_string(record.family) + " takes ports from 1 to 9999");

    record.name = Trimmed(values.name);
    record.httpPort = static_cast<std::uint16_t>(httpPort);
    record.ipMode = static_cast<std::uint8_t>(*values.ipMode);
    record.ip = values.ip;
    record.mask = values.mask;
    record.gateway = values.gateway;
    return true;
}

TApplyResult TApplyFlow::Apply(const TDevInfo& listedRow, const TEditedValues& values) {
    // Our own copy: the row may be refreshed, age out or be cleared while the dialog is open.
    const TDevInfo listed = listedRow;
    TApplyResult result;
    result.family = listed.family;
    result.edited = listed;

    if (!ReadDetailsInto(values, result.edited, &result.messageKey, &result.detail)) {
        result.outcome = TApplyOutcome::kValidationError;
        return result;
    }

    // The gateway check comes before anything is asked, and ends the apply at once.
    if (listed.family == kFamilyHds && result.edited.gateway == "0.0.0.0") {
        StrResMessageBox("IDS_NOGAGEWAY", "IDS_ERROR", MsgStyle::kIconError);
        result.outcome = TApplyOutcome::kValidationError;
        result.messageKey = "IDS_NOGAGEWAY";
        result.detail = "the gateway 0.0.0.0 is refused for family 6";
        return result;
    }

    const bool ok = RunBranch(listed, result);
    Wait(kBranchWaitMs);
    if (!ok) {
        result.outcome = TApplyOutcome::kNotApplied;
        if (result.reason == TNotAppliedReason::kNone)
            result.reason = TNotAppliedReason::kCommandFailed;
        if (result.detail.empty())
            result.detail = ReasonText(result.reason);
        return result;
    }
    result.outcome = TApplyOutcome::kApplied;
    result.reason = TNotAppliedReason::kNone;
    if (result.detail.empty()) {
        result.detail = listed.family == kFamilySdk  ? "the vendor library took the settings"
                        : listed.family == kFamilyDh ? "the device acknowledged the settings"
                                                     : "the command was sent";
    }
    Finish(listed.mac);
    return result;
}

bool TApplyFlow::AskAccount(std::int32_t family, TApplyResult& result, TCredentials& account) {
    const std::optional<TCredentials> presets = CredentialPresets(family);
    if (!presets)
        return true;
    result.askedCredentials = true;
    const std::optional<TCredentials> answer = credentials_.AskCredentials(family, *presets);
    if (!answer) {
        result.reason = TNotAppliedReason::kCancelled;
        result.detail = "the credential dialog was cancelled";
        return false;
    }
    account.user = Trimmed(answer->user);
    account.password = Trimmed(answer->password);
    if (FamilyStoresAccount(family)) {
        result.edited.userName = account.user;
        result.edited.userPassword = account.password;
    }
    return true;
}

bool TApplyFlow::RunBranch(const TDevInfo& listed, TApplyResult& result) {
    const std::int32_t family = listed.family;
    TDevInfo& edited = result.edited;
    const TSearchTargets& targets = engine_.Targets();
    TSearchEndpoints& endpoints = engine_.Endpoints();

    switch (family) {
    case kFamilyKt352:
    case kFamilyPeltra:
    case kFamilyZorixNet:
    case kFamilyMoi:
    case kFamilyUicam:
    case kFamilyCtp:
    case kFamilyHds:
    case kFamily6801:
        break;
    case kFamilySdk:
        if (!sdkConfigDevice) {
            result.reason = TNotAppliedReason::kNoHandler;
            result.detail = "the vendor library is not loaded";
            return false;
        }
        break;
    case kFamilyDh:
        if (!family9SetNetParams) {
            result.reason = TNotAppliedReason::kNoHandler;
            result.detail = "no family-9 client is available";
            return false;
        }
        break;
    case kFamilyZorix:
        result.reason = TNotAppliedReason::kNoCommand;
        result.detail = "family 7 has no network-setting command";
        return false;
    default:
        result.reason = TNotAppliedReason::kNoCommand;
        result.detail = FamilyName(family) + " is unknown and has no network-setting command";
        return false;
    }

    if (family == kFamilyPeltra && listed.protocolVersion != 2) {
        result.reason = TNotAppliedReason::kProtocolVersion;
        result.detail = "family 1 with protocolVersion " + std::to_string(listed.protocolVersion) +
                        " takes no network-setting command";
        return false;
    }

    TCredentials account;
    if (!FamilyAsksNoAccount(family) && !AskAccount(family, result, account))
        return false;

    const bool busy = FamilyShowsWaitCursor(family);
    if (busy)
        Busy(true);
    bool ok = false;
    try {
        switch (family) {
        case kFamilyKt352: {
            TNotingSender sender(endpoints.Udp(1), result.sent);
            ok = SetKt352Network(listed, edited, sender, targets.kt352Port);
            if (!ok && !BuildKt352SetCommand(listed, edited))
                result.detail = "nothing differs from the listed settings";
            break;
        }
        case kFamilyPeltra: {
            TNotingSender sender(endpoints.Udp(1), result.sent);
            ok = SetPeltraNetwork(listed, edited, account.user, account.password, sender,
                                  targets.commaTextPort);
            break;
        }
        case kFamilyZorixNet: {
            TNotingSender sender(endpoints.Udp(1), result.sent);
            ok = SetZorixNetNetwork(listed, edited, account.user, account.password, sender,
                                    targets.commaTextPort);
            break;
        }
        case kFamilyMoi: {
            TNotingSender sender(endpoints.Udp(2), result.sent);
            ok = SetMoiNetwork(listed, edited, account.user, account.password, sender,
                               targets.moiPort);
            break;
        }
        case kFamilyUicam: {
            TNotingSender sender(endpoints.Udp(3), result.sent);
            ok = SetUicamNetwork(listed, edited, sender, targets.uicamPort);
            if (!ok && !listed.HasRawReply())
                result.detail = "the device's reply was not kept, so its command cannot be built";
            break;
        }
        case kFamilySdk:
            ok = sdkConfigDevice(edited);
            break;
        case kFamilyCtp: {
            TNotingSender sender(endpoints.Udp(4), result.sent);
            ok = SetCtpNetwork(listed, edited, account.password, sender, targets.ctpPort);
            break;
        }
        case kFamilyHds: {
            TNotingSender sender(endpoints.MulticastSender(), result.sent);
            ok = SetHdsNetwork(listed, edited, account.user, account.password, engine_.ClientId(),
                               sender, targets.multicastGroup, targets.multicastPort);
            break;
        }
        case kFamily6801: {
            TNotingSender sender(endpoints.Udp(5), result.sent);
            ok = SetBin6801Network(listed, edited, sender, targets.bin6801Port);
            break;
        }
        case kFamilyDh:
            ok = family9SetNetParams(account.user, account.password, listed, edited);
            break;
        default:
            break;
        }
    } catch (const std::exception& error) {
        // A send or conversion error ends the command; what was sent before it stays sent.
        ok = false;
        result.detail = std::string("the command stopped: ") + error.what();
    }
    if (busy)
        Busy(false);
    if (!ok)
        result.reason = TNotAppliedReason::kCommandFailed;
    return ok;
}

TApplyResult TApplyFlow::SendCommand3(const TDevInfo& listedRow) {
    const TDevInfo listed = listedRow;
    TApplyResult result;
    result.family = listed.family;
    result.edited = listed;
    bool ok = false;
    if (listed.family == kFamilyPeltra) {
        TNotingSender sender(engine_.Endpoints().Udp(1), result.sent);
        try {
            // A send that failed is not reported as done: the row stays.
            ok = SendPeltraCommand3(listed, sender);
        } catch (const std::exception& error) {
            result.detail = std::string("the command stopped: ") + error.what();
        }
        if (!ok) {
            result.reason = TNotAppliedReason::kCommandFailed;
            if (result.detail.empty())
                result.detail = "command 3 could not be sent";
        }
    } else {
        result.reason = TNotAppliedReason::kNoCommand;
        result.detail = "command 3 exists for family 1 only";
    }
    Wait(kBranchWaitMs);
    if (!ok) {
        result.outcome = TApplyOutcome::kNotApplied;
        return result;
    }
    result.outcome = TApplyOutcome::kApplied;
    if (result.detail.empty())
        result.detail = "command 3 sent to family 1";
    Finish(listed.mac);
    return result;
}

void TApplyFlow::Finish(const std::string& mac) {
    // Found again by its MAC: the row the apply started from may be gone or moved by now.
    TDeviceList& list = engine_.List();
    const int row = list.RowOfMac(mac);
    if (row >= 0)
        list.DeleteRow(row);
    engine_.Find();
}

void TApplyFlow::Wait(int milliseconds) {
    if (pause)
        pause(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void TApplyFlow::Busy(bool busy) {
    if (waitCursor)
        waitCursor(busy);
}

} // namespace zadari
