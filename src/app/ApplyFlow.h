#pragma once
// Apply: the edited network settings of one listed device sent with its family's command. The
// flow validates the panel's values as the details panel does, asks for the account where the
// family needs one, sends the command once through the engine's endpoints (or the vendor
// library, or the family-9 client), and on success removes the device's row and searches
// again, so the device comes back with its new settings when it answers. It holds no widget:
// the window gives it the panel's texts and its credential dialog, zadari-cli its options.
#include "app/Credentials.h"
#include "app/SettingsCarrier.h"
#include "protocols/Bytes.h"
#include "protocols/DevInfo.h"
#include "protocols/FamilyTable.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

class TSearchEngine;

/// The panel's values as its fields give them. Texts are the bytes the device gets.
struct TEditedValues {
    std::string name;     ///< edName (trimmed by the flow)
    std::string portText; ///< edPort
    /// The value of the selected cmbIPAss entry (0 PPPoE, 1 dynamic, 2 fixed); nothing when no
    /// entry is selected.
    std::optional<int> ipMode;
    std::string ip;      ///< edIP
    std::string mask;    ///< edSubMask
    std::string gateway; ///< edGateway

    /// What the panel shows for a listed record: its name, port, mode (when the family offers
    /// it) and addresses.
    static TEditedValues FromRecord(const TDevInfo& record);
};

/// Four decimal parts of 0..255 joined by dots, as the address fields always give them.
bool IsDottedAddress(std::string_view text);
/// Whether the panel lets the user edit a device's name (not for families 2 and 3).
bool NameEditable(std::int32_t family);
/// Whether the panel shows the connection type (not for family 2).
bool IpModeShown(std::int32_t family);
/// Whether the connection-type list offers `mode` for the family (PPPoE is not offered to
/// families 3, 6, 8 and 9).
bool IpModeOffered(std::int32_t family, int mode);
/// Whether the family's command can carry `newPort` for a device listed with `listedPort`: the
/// KT352 command writes a changed port as at most four characters, so a five-digit port would
/// arrive as another port.
bool PortFitsCommand(std::int32_t family, std::uint16_t listedPort, int newPort);
/// The credential dialog's presets of a family's branch ("admin" and "" or "zeqit"); nothing
/// for the families that are not asked.
std::optional<TCredentials> CredentialPresets(std::int32_t family);
/// Whether a family takes a firmware upload (the Upgrade button).
bool HasUpgrade(std::int32_t family);

/// A message for the user: the IDS_ keys of its text and caption and the MsgStyle of its box.
/// The window shows it in a box, zadari-cli prints it.
struct TUserMessage {
    std::string key;
    std::string captionKey;
    int style = 0;
    bool Empty() const { return key.empty(); }
};

enum class TApplyOutcome {
    kApplied,         ///< the command was handed on; the row is gone and a search started
    kNotApplied,      ///< nothing (more) happened; the row stays
    kValidationError, ///< the panel's values were refused before anything was asked or sent
};

enum class TNotAppliedReason {
    kNone,
    kNoCommand,       ///< family 7 and unknown families have no setting command
    kProtocolVersion, ///< family 1 with a protocolVersion other than 2
    kCancelled,       ///< the credential dialog was cancelled
    kNoHandler,       ///< families 4 and 9: no vendor library / family-9 client to call
    kCommandFailed,   ///< the command reported failure (nothing to change, no stored reply,
                      ///< a value it cannot carry, a failed send)
    kUnchanged,       ///< the device's settings, read from it, are those of the panel already
};

/// One datagram a command put on the wire.
struct TSentDatagram {
    std::string address;
    std::uint16_t port = 0;
    TBytes bytes;
};

struct TApplyResult {
    TApplyOutcome outcome = TApplyOutcome::kNotApplied;
    TNotAppliedReason reason = TNotAppliedReason::kNone;
    /// The IDS_ key of the message for a validation error (empty for a value the panel's
    /// fields cannot produce, which is refused without a message box).
    std::string messageKey;
    /// The whole message to show for it (key, caption, style); empty when there is none.
    TUserMessage message;
    /// A line in English saying what happened, for zadari-cli and logs.
    std::string detail;
    std::int32_t family = kFamilyNone;
    /// Whether the credential provider was asked.
    bool askedCredentials = false;
    /// The edited record as the command got it (credentials stored for families 4, 5, 6, 8).
    TDevInfo edited;
    /// Every datagram the command sent, in order (families 4 and 9 send through their own code).
    std::vector<TSentDatagram> sent;
    /// What carried the command when it was not a datagram of ours ("the vendor library").
    std::string carriedBy;

    bool Applied() const { return outcome == TApplyOutcome::kApplied; }
};

/// English description of a not-applied reason.
const char* ReasonText(TNotAppliedReason reason);

class TApplyFlow {
public:
    /// Uses the engine's list, endpoints, targets and ClientId, and its Find. Both must outlive
    /// the flow.
    TApplyFlow(TSearchEngine& engine, ICredentialsProvider& credentials);

    /// Who carries the settings of the families whose command is not a datagram of ours; null
    /// while there is none (such an Apply then sends nothing).
    void SetCarrier(TCommandCarrier kind, ISettingsCarrier* carrier);
    /// The carrier of the device's family, or null.
    ISettingsCarrier* CarrierFor(std::int32_t family) const;

    // --- what the window provides ---
    /// Shown (true) and hidden (false) around the commands of families 5, 6 and 8.
    std::function<void(bool busy)> waitCursor;
    /// The short waits of the flow (10 ms after a branch); sleeps by default, tests note them.
    std::function<void(int milliseconds)> pause;
    /// Whether a successful Apply starts a search at once (Find, which clears the list). A
    /// fleet run sends many commands in a row and lets the timer's cycles find the cameras.
    bool searchAfterApply = true;

    /// Why no network-setting command can reach the device (its family has none, family 1
    /// without protocol version 2, no vendor library or family-9 client to carry it); nothing
    /// when one can.
    std::optional<std::string> WhyNoCommand(const TDevInfo& listed) const;

    /// The Apply button for the device `listed` (the selected row's record, copied at once: the
    /// list may release the row while the credential dialog is open). A refusal comes back as
    /// the result's message; the flow shows nothing itself.
    ///
    /// For a family whose carrier reads the device's settings (ONVIF), the account is asked
    /// first and the settings are read; a value equal to what the row showed counts as not
    /// edited and keeps the device's own. When nothing is left to change the result is
    /// kUnchanged with a message, and the row now shows the settings read.
    TApplyResult Apply(const TDevInfo& listed, const TEditedValues& values);

    /// Whether the device's settings are read from it before they change (ReadSettings).
    bool ReadsSettings(const TDevInfo& listed) const;
    /// Asks for the account and reads the device's current settings into `current` (a copy of
    /// `listed` with them); the device's row shows them afterwards. On failure the result says
    /// why (message, detail, reason). `account` receives the account given.
    bool ReadSettings(const TDevInfo& listed, TDevInfo& current, TApplyResult& result,
                      TCredentials* account = nullptr);

    /// Ctrl+Alt+Shift+D: family 1 gets command 3 and counts as applied; every family waits
    /// 10 ms; after success the row goes and a search starts.
    TApplyResult SendCommand3(const TDevInfo& listed);

    /// Validates the values and writes name, httpPort, ipMode, ip, mask and gateway into
    /// `record`. On a refusal returns false with the message and an English detail.
    static bool ReadDetailsInto(const TEditedValues& values, TDevInfo& record,
                                TUserMessage* message, std::string* detail);

private:
    bool RunBranch(const TFamilyRow& family, const TDevInfo& listed, TApplyResult& result,
                   const TCredentials* knownAccount);
    bool AskAccount(const TFamilyRow& family, TApplyResult& result, TCredentials& account);
    bool SendCommand(const TFamilyRow& family, const TDevInfo& listed, const TCredentials& account,
                     TApplyResult& result);
    void Wait(int milliseconds);
    void Busy(bool busy);
    void Finish(const std::string& mac);

    TSearchEngine& engine_;
    ICredentialsProvider& credentials_;
    ISettingsCarrier* vendorLibrary_ = nullptr;
    ISettingsCarrier* family9Client_ = nullptr;
    ISettingsCarrier* onvifClient_ = nullptr;
};

} // namespace zadari
