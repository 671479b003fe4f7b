#pragma once
// What a device family is and may do, in one place: one constant row per family with its code,
// letters, reply recogniser and parser, search query, setting command and the capabilities the
// details panel, the apply flow and the upgrade ask about. Nothing outside this table and the
// codecs decides anything by a family's code.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace zadari {

struct TDispatchContext;

/// Where the queries of one cycle go (the devices' own ports) and the multicast group.
struct TSearchTargets {
    std::uint16_t commaTextPort = 10000;
    std::uint16_t kt352Port = 4000;
    std::uint16_t moiPort = 10000;
    std::uint16_t uicamPort = 10139;
    std::uint16_t ctpPort = 7999;
    std::uint16_t bin6801Port = 6801;
    std::string multicastGroup = "239.255.255.250";
    std::uint16_t multicastPort = 8002;
    /// The family-9 client's search port.
    std::uint16_t family9Port = 8600;
};

/// The engine's sockets by what they are for. One general endpoint carries the comma-text
/// families and KT352; MO_I, uicam, CTP and the port-6801 family each have their own, and HDS
/// goes through the multicast sender.
enum class TEndpointRole { kNone, kGeneral, kMoi, kUicam, kCtp, kBin6801, kMulticast };

/// Who carries a family's network-setting command.
enum class TCommandCarrier {
    kNone,          ///< the family has no setting command
    kDatagram,      ///< the row's own command through its endpoint
    kVendorLibrary, ///< the vendor library's configuration call
    kFamily9Client, ///< the family-9 client's settings exchange
    kOnvifClient,   ///< the ONVIF device management service (settings read before they change)
};

/// The account the credential dialog proposes before a family's command.
enum class TAccountPresets {
    kNotAsked,    ///< the family's command carries no account
    kAdminBlank,  ///< "admin" and an empty password
    kAdminVendor, ///< "admin" and the vendor's default password
};

/// The firmware upload a family takes, if any: a form post of the file with the account in the
/// query (its files checked for the family's magic), or the family-9 client's upload.
enum class TUpgradeKind { kNone, kQueryAuthForm, kFamily9Client };

/// Everything a family's setting command may need.
struct TSetRequest {
    const TDevInfo& listed;
    const TDevInfo& edited;
    std::string_view user;
    std::string_view password;
    std::string_view clientId;
    TDatagramSender& sender;
    const TSearchTargets& targets;
};

/// What one search step needs besides its endpoint.
struct TQueryRequest {
    TDatagramSender& sender;
    const TSearchTargets& targets;
    std::string_view clientId;
};

struct TFamilyRow {
    std::int32_t code = kFamilyNone;
    /// The one name of the family in code, logs and the glossary.
    std::string_view name;
    /// What the list's Mode column shows.
    std::string_view letters;

    // --- receiving ---
    /// Whether a datagram is this family's reply (by its leading magic); null when the family's
    /// replies do not come through the engine's endpoints.
    bool (*isReply)(std::string_view datagram) = nullptr;
    /// Parses such a datagram into `record`; true when it describes a device to merge.
    bool (*parseReply)(std::string_view datagram, TDevInfo& record,
                       const TDispatchContext& context) = nullptr;

    // --- searching ---
    /// Position of the family's query in a search cycle (1 first); 0 when another provider
    /// searches for it or it has no query of its own.
    int searchStep = 0;
    /// Sent on every third tick only.
    bool everyThirdTick = false;
    bool (*sendQuery)(const TQueryRequest& request) = nullptr;

    // --- setting ---
    TEndpointRole endpoint = TEndpointRole::kNone;
    TCommandCarrier carrier = TCommandCarrier::kNone;
    bool (*setCommand)(const TSetRequest& request) = nullptr;
    /// Why a failed command failed when the family can tell (null or "" when not).
    const char* (*explainFailure)(const TSetRequest& request) = nullptr;
    /// The hidden command 3 (Ctrl+Alt+Shift+D); null for the families without one.
    bool (*command3)(const TDevInfo& listed, TDatagramSender& sender) = nullptr;
    TAccountPresets account = TAccountPresets::kNotAsked;
    /// The entered account is written into the edited record the command gets.
    bool storesAccount = false;
    /// The command takes long enough for a wait cursor.
    bool busyCursor = false;
    /// The command is only understood by devices of command-set version 2.
    bool needsProtocolVersion2 = false;
    /// A gateway of 0.0.0.0 is refused before anything is asked.
    bool refusesZeroGateway = false;
    /// The largest HTTP port the command can carry.
    int maxHttpPort = 65535;

    // --- the details panel ---
    bool nameEditable = true;
    bool ipModeShown = true;
    bool pppoeOffered = true;
    TUpgradeKind upgrade = TUpgradeKind::kNone;

    /// The IDS_ key of the message Apply shows for a family without a setting command; null
    /// when nothing is shown.
    const char* noCommandMessage = nullptr;

    // --- the list ---
    /// Rows of the family leave the list when silent; the vendor library's rows stay.
    bool agesOut = true;
    /// A standard discovery protocol: what it says about a device is attached to the device's
    /// row of another family (the same MAC) when there is one, and a row of its own goes when
    /// the device announces its leaving.
    bool standard = false;
};

/// Every family, in code order.
std::span<const TFamilyRow> Families();
/// The row of a family code, or null for an unknown code.
const TFamilyRow* FindFamily(std::int32_t code);

} // namespace zadari
