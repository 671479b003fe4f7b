#include "app/ApplyFlow.h"

#include "app/DeviceList.h"
#include "app/SearchEngine.h"
#include "i18n/StrRes.h"
#include "net/SearchEndpoints.h"
#include "protocols/CommaText.h"

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

/// An address field: "" and "0.0.0.0" both show as 0.0.0.0.
bool SameAddress(const std::string& a, const std::string& b) {
    auto blank = [](const std::string& text) { return text.empty() || text == "0.0.0.0"; };
    return a == b || (blank(a) && blank(b));
}

/// Each value the user left as the row showed it (`shown`) becomes the device's own
/// (`device`); edited values stay.
TEditedValues Rebased(const TEditedValues& values, const TEditedValues& shown,
                      const TEditedValues& device) {
    TEditedValues out = values;
    if (Trimmed(values.name) == Trimmed(shown.name))
        out.name = device.name;
    if (Trimmed(values.portText) == Trimmed(shown.portText))
        out.portText = device.portText;
    if (values.ipMode == shown.ipMode)
        out.ipMode = device.ipMode;
    if (SameAddress(values.ip, shown.ip))
        out.ip = device.ip;
    if (SameAddress(values.mask, shown.mask))
        out.mask = device.mask;
    if (SameAddress(values.gateway, shown.gateway))
        out.gateway = device.gateway;
    return out;
}

bool SameValues(const TEditedValues& a, const TEditedValues& b) {
    return Trimmed(a.name) == Trimmed(b.name) && Trimmed(a.portText) == Trimmed(b.portText) &&
           a.ipMode == b.ipMode && SameAddress(a.ip, b.ip) && SameAddress(a.mask, b.mask) &&
           SameAddress(a.gateway, b.gateway);
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
    const TFamilyRow* row = FindFamily(family);
    return row == nullptr || row->nameEditable;
}

bool IpModeShown(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row == nullptr || row->ipModeShown;
}

bool IpModeOffered(std::int32_t family, int mode) {
    if (mode < 0 || mode > 2)
        return false;
    const TFamilyRow* row = FindFamily(family);
    return mode != 0 || row == nullptr || row->pppoeOffered;
}

bool PortFitsCommand(std::int32_t family, std::uint16_t listedPort, int newPort) {
    const TFamilyRow* row = FindFamily(family);
    return row == nullptr || newPort == listedPort || newPort <= row->maxHttpPort;
}

std::optional<TCredentials> CredentialPresets(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    switch (row ? row->account : TAccountPresets::kNotAsked) {
    case TAccountPresets::kAdminBlank:
        return TCredentials{kDefaultAccount, ""};
    case TAccountPresets::kAdminVendor:
        return TCredentials{kDefaultAccount, kVendorPassword};
    case TAccountPresets::kNotAsked:
        break;
    }
    return std::nullopt;
}

bool HasUpgrade(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row != nullptr && row->upgrade != TUpgradeKind::kNone;
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
    case TNotAppliedReason::kUnchanged:
        return "the device has these settings already";
    }
    return "";
}

TApplyFlow::TApplyFlow(TSearchEngine& engine, ICredentialsProvider& credentials)
    : engine_(engine), credentials_(credentials) {}

void TApplyFlow::SetCarrier(TCommandCarrier kind, ISettingsCarrier* carrier) {
    if (kind == TCommandCarrier::kVendorLibrary)
        vendorLibrary_ = carrier;
    else if (kind == TCommandCarrier::kFamily9Client)
        family9Client_ = carrier;
    else if (kind == TCommandCarrier::kOnvifClient)
        onvifClient_ = carrier;
}

ISettingsCarrier* TApplyFlow::CarrierFor(std::int32_t familyCode) const {
    const TFamilyRow* family = FindFamily(familyCode);
    switch (family ? family->carrier : TCommandCarrier::kNone) {
    case TCommandCarrier::kVendorLibrary:
        return vendorLibrary_;
    case TCommandCarrier::kFamily9Client:
        return family9Client_;
    case TCommandCarrier::kOnvifClient:
        return onvifClient_;
    case TCommandCarrier::kDatagram:
    case TCommandCarrier::kNone:
        break;
    }
    return nullptr;
}

bool TApplyFlow::ReadsSettings(const TDevInfo& listed) const {
    const ISettingsCarrier* carrier = CarrierFor(listed.family);
    return carrier != nullptr && carrier->ReadsSettings();
}

bool TApplyFlow::ReadSettings(const TDevInfo& listedRow, TDevInfo& current, TApplyResult& result,
                              TCredentials* accountOut) {
    const TDevInfo listed = listedRow;
    const TFamilyRow* family = FindFamily(listed.family);
    ISettingsCarrier* carrier = CarrierFor(listed.family);
    current = listed;
    if (family == nullptr || carrier == nullptr || !carrier->ReadsSettings()) {
        result.reason = TNotAppliedReason::kNoHandler;
        result.detail = FamilyName(listed.family) + " has no settings to read";
        return false;
    }
    TCredentials account;
    if (!AskAccount(*family, result, account))
        return false;
    if (accountOut != nullptr)
        *accountOut = account;
    result.carriedBy = carrier->CarrierName();
    if (family->busyCursor)
        Busy(true);
    bool ok = false;
    try {
        ok = carrier->ReadSettings(account, listed, current);
    } catch (const std::exception& error) {
        result.detail = std::string("the settings could not be read: ") + error.what();
    }
    if (family->busyCursor)
        Busy(false);
    const TCarrierNote note = carrier->LastNote();
    if (!ok) {
        current = listed;
        result.reason = TNotAppliedReason::kCommandFailed;
        if (!note.messageKey.empty())
            result.message = TUserMessage{note.messageKey, "IDS_ERROR", MsgStyle::kIconError};
        if (!note.detail.empty())
            result.detail = note.detail;
        else if (result.detail.empty())
            result.detail = "the settings could not be read";
        return false;
    }
    // The row shows what the device said, if it is still listed.
    if (engine_.List().RowOfMac(listed.mac) >= 0)
        engine_.MergeFound(current);
    return true;
}

bool TApplyFlow::ReadDetailsInto(const TEditedValues& values, TDevInfo& record,
                                 TUserMessage* message, std::string* detail) {
    auto refuse = [&](const char* key, const char* captionKey, int style, std::string text) {
        if (message)
            *message = TUserMessage{key, captionKey, style};
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

    const TFamilyRow* family = FindFamily(listed.family);
    // A family that says why it takes no command says so before anything is checked or asked.
    if (family != nullptr && family->carrier == TCommandCarrier::kNone &&
        family->noCommandMessage != nullptr) {
        result.reason = TNotAppliedReason::kNoCommand;
        result.message =
            TUserMessage{family->noCommandMessage, "IDS_INFORMATION", MsgStyle::kIconInformation};
        result.detail = FamilyName(listed.family) + " (" + std::string(family->name) +
                        ") takes no network-setting command yet";
        return result;
    }
    // Settings read from the device cannot be shown or checked without the client that reads
    // them.
    if (family != nullptr && family->carrier == TCommandCarrier::kOnvifClient &&
        onvifClient_ == nullptr) {
        result.reason = TNotAppliedReason::kNoHandler;
        result.detail = "no ONVIF client is available";
        return result;
    }
    TEditedValues edits = values;
    std::optional<TCredentials> account;
    if (family != nullptr && ReadsSettings(listed)) {
        TDevInfo current;
        TCredentials given;
        if (!ReadSettings(listed, current, result, &given)) {
            Wait(kBranchWaitMs);
            return result;
        }
        account = given;
        const TEditedValues shown = TEditedValues::FromRecord(listed);
        const TEditedValues device = TEditedValues::FromRecord(current);
        edits = Rebased(values, shown, device);
        if (SameValues(edits, device)) {
            // Nothing to send: the panel showed the device's settings, or shows them now.
            result.reason = TNotAppliedReason::kUnchanged;
            result.edited = current;
            result.message = TUserMessage{SameValues(shown, device) ? "IDS_ONVIF_UNCHANGED"
                                                                    : "IDS_ONVIF_SETTINGSREAD",
                                          "IDS_INFORMATION", MsgStyle::kIconInformation};
            result.detail = "the device's settings were read; nothing differs from them";
            Wait(kBranchWaitMs);
            return result;
        }
        result.edited = current;
    }
    if (!ReadDetailsInto(edits, result.edited, &result.message, &result.detail)) {
        result.outcome = TApplyOutcome::kValidationError;
        result.messageKey = result.message.key;
        return result;
    }

    // The gateway check comes before anything is asked, and ends the apply at once.
    if (family != nullptr && family->refusesZeroGateway && result.edited.gateway == "0.0.0.0") {
        result.outcome = TApplyOutcome::kValidationError;
        result.message = TUserMessage{"IDS_NOGAGEWAY", "IDS_ERROR", MsgStyle::kIconError};
        result.messageKey = result.message.key;
        result.detail =
            "the gateway 0.0.0.0 is refused for family " + std::to_string(listed.family);
        return result;
    }

    bool ok = false;
    if (family == nullptr) {
        result.reason = TNotAppliedReason::kNoCommand;
        result.detail =
            FamilyName(listed.family) + " is unknown and has no network-setting command";
    } else {
        ok = RunBranch(*family, listed, result, account ? &*account : nullptr);
    }
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
        result.detail = family->carrier == TCommandCarrier::kVendorLibrary
                            ? "the vendor library took the settings"
                        : family->carrier == TCommandCarrier::kFamily9Client ||
                                family->carrier == TCommandCarrier::kOnvifClient
                            ? "the device acknowledged the settings"
                            : "the command was sent";
    }
    Finish(listed.mac);
    return result;
}

bool TApplyFlow::AskAccount(const TFamilyRow& family, TApplyResult& result, TCredentials& account) {
    const std::optional<TCredentials> presets = CredentialPresets(family.code);
    if (!presets)
        return true;
    result.askedCredentials = true;
    const std::optional<TCredentials> answer = credentials_.AskCredentials(family.code, *presets);
    if (!answer) {
        result.reason = TNotAppliedReason::kCancelled;
        result.detail = "the credential dialog was cancelled";
        return false;
    }
    account.user = Trimmed(answer->user);
    account.password = Trimmed(answer->password);
    if (family.storesAccount) {
        result.edited.userName = account.user;
        result.edited.userPassword = account.password;
    }
    return true;
}

bool TApplyFlow::RunBranch(const TFamilyRow& family, const TDevInfo& listed, TApplyResult& result,
                           const TCredentials* knownAccount) {
    ISettingsCarrier* carrier = nullptr;
    switch (family.carrier) {
    case TCommandCarrier::kDatagram:
        break;
    case TCommandCarrier::kVendorLibrary:
    case TCommandCarrier::kFamily9Client:
    case TCommandCarrier::kOnvifClient:
        carrier = CarrierFor(family.code);
        if (carrier == nullptr) {
            result.reason = TNotAppliedReason::kNoHandler;
            result.detail = family.carrier == TCommandCarrier::kVendorLibrary
                                ? "the vendor library is not loaded"
                            : family.carrier == TCommandCarrier::kFamily9Client
                                ? "no family-9 client is available"
                                : "no ONVIF client is available";
            return false;
        }
        break;
    case TCommandCarrier::kNone:
        result.reason = TNotAppliedReason::kNoCommand;
        result.detail = FamilyName(family.code) + " has no network-setting command";
        return false;
    }

    if (family.needsProtocolVersion2 && listed.protocolVersion != 2) {
        result.reason = TNotAppliedReason::kProtocolVersion;
        result.detail = FamilyName(family.code) + " with protocolVersion " +
                        std::to_string(listed.protocolVersion) +
                        " takes no network-setting command";
        return false;
    }

    TCredentials account;
    if (knownAccount != nullptr)
        account = *knownAccount;
    else if (!AskAccount(family, result, account))
        return false;

    if (family.busyCursor)
        Busy(true);
    bool ok = false;
    try {
        if (carrier != nullptr) {
            ok = carrier->SendSettings(account, listed, result.edited);
            result.carriedBy = carrier->CarrierName();
        } else {
            ok = SendCommand(family, listed, account, result);
        }
    } catch (const std::exception& error) {
        // A send or conversion error ends the command; what was sent before it stays sent.
        ok = false;
        result.detail = std::string("the command stopped: ") + error.what();
    }
    if (family.busyCursor)
        Busy(false);
    if (carrier != nullptr) {
        // What the carrier says is shown: an error after a failure, information after success.
        const TCarrierNote note = carrier->LastNote();
        if (!note.messageKey.empty())
            result.message =
                ok ? TUserMessage{note.messageKey, "IDS_INFORMATION", MsgStyle::kIconInformation}
                   : TUserMessage{note.messageKey, "IDS_ERROR", MsgStyle::kIconError};
        if (!note.detail.empty())
            result.detail = note.detail;
    }
    if (!ok)
        result.reason = TNotAppliedReason::kCommandFailed;
    return ok;
}

bool TApplyFlow::SendCommand(const TFamilyRow& family, const TDevInfo& listed,
                             const TCredentials& account, TApplyResult& result) {
    TNotingSender sender(engine_.Endpoints().Sender(family.endpoint), result.sent);
    const TSetRequest request{listed,           result.edited,      account.user,
                              account.password, engine_.ClientId(), sender,
                              engine_.Targets()};
    const bool ok = family.setCommand(request);
    if (!ok && family.explainFailure != nullptr) {
        const char* why = family.explainFailure(request);
        if (why != nullptr && *why != '\0')
            result.detail = why;
    }
    return ok;
}

TApplyResult TApplyFlow::SendCommand3(const TDevInfo& listedRow) {
    const TDevInfo listed = listedRow;
    TApplyResult result;
    result.family = listed.family;
    result.edited = listed;
    bool ok = false;
    const TFamilyRow* family = FindFamily(listed.family);
    if (family != nullptr && family->command3 != nullptr) {
        TNotingSender sender(engine_.Endpoints().Sender(family->endpoint), result.sent);
        try {
            // A send that failed is not reported as done: the row stays.
            ok = family->command3(listed, sender);
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
    if (searchAfterApply)
        engine_.Find();
}

std::optional<std::string> TApplyFlow::WhyNoCommand(const TDevInfo& listed) const {
    const TFamilyRow* family = FindFamily(listed.family);
    if (family == nullptr || family->carrier == TCommandCarrier::kNone)
        return FamilyName(listed.family) + " has no network-setting command";
    if (family->carrier == TCommandCarrier::kVendorLibrary && vendorLibrary_ == nullptr)
        return std::string("the vendor library is not loaded");
    if (family->carrier == TCommandCarrier::kFamily9Client && family9Client_ == nullptr)
        return std::string("no family-9 client is available");
    if (family->carrier == TCommandCarrier::kOnvifClient && onvifClient_ == nullptr)
        return std::string("no ONVIF client is available");
    if (family->needsProtocolVersion2 && listed.protocolVersion != 2)
        return FamilyName(family->code) + " with protocolVersion " +
               std::to_string(listed.protocolVersion) + " takes no network-setting command";
    return std::nullopt;
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
