#pragma once
// A re-addressing plan for many cameras: which camera (by MAC) gets which address, mask, gateway
// and name. Plans come from a CSV file or from an address range handed out over listed cameras;
// before anything is sent a plan is checked against the list, and the moves are put in an order
// in which no camera takes an address before the camera holding it has left it.
#include "protocols/DevInfo.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

/// One line of a plan. Empty texts keep the camera's value.
struct TPlanEntry {
    std::string mac; ///< normalised: 12 upper-case hex digits
    std::string ip;
    std::string mask;
    std::string gateway;
    std::optional<std::string> name;
    int line = 0; ///< 1-based line in the plan file; 0 for a plan made here
};

enum class TPlanProblemKind {
    kUnreadableLine, ///< not five fields, or a MAC or address that does not read
    kDuplicateMac,
    kDuplicateAddress,
    kAddressInUse,       ///< a listed camera the plan does not move away answers at the address
    kNetworkOrBroadcast, ///< the address is its subnet's network or broadcast address
    kBadMask,
    kNotReaddressable, ///< the family has no command that reaches it (7, 1 without version 2, ...)
    kNameFixed,        ///< the family's command cannot rename the camera
    kZeroGateway,      ///< the family refuses the gateway 0.0.0.0
    kMoveCycle,        ///< cameras would swap addresses: no order frees each address first
    kRangeTooSmall,
};

struct TPlanProblem {
    TPlanProblemKind kind;
    int line = 0;    ///< the plan line, 0 when the problem is not about one line
    std::string mac; ///< the camera concerned, when there is one
    /// An English line saying what is wrong, for zadari-cli and the report.
    std::string text;
};

/// The message key the window shows for a kind of problem.
const char* PlanProblemKey(TPlanProblemKind kind);

/// Strict dotted IPv4 (four decimal parts 0..255, nothing else) as a host-order number.
std::optional<std::uint32_t> ParseIpv4(std::string_view text);
std::string Ipv4Text(std::uint32_t address);
/// A contiguous subnet mask (255.255.255.0, not 255.0.255.0).
bool IsSubnetMask(std::uint32_t mask);

struct TPlanReading {
    std::vector<TPlanEntry> entries;
    std::vector<TPlanProblem> problems;
};

/// Reads a plan file: a header line, then `mac,ip,mask,gateway,name` per line (CR LF or LF,
/// blank lines skipped, fields trimmed, an empty name keeps the camera's). A UTF-8 BOM is
/// skipped. Every line that does not read is a problem.
TPlanReading ReadPlanCsv(std::string_view text);
/// The plan as such a file, with its header line.
std::string WritePlanCsv(const std::vector<TPlanEntry>& entries);

/// Whether a listed camera can be re-addressed, and why not; nothing when it can.
using TReachCheck = std::function<std::optional<std::string>(const TDevInfo& record)>;

/// Hands out the addresses from `first` to `last` over `cameras` in their order, skipping every
/// address a listed camera answers at (`inUse`) and the subnet's network and broadcast
/// addresses. A range that runs out is a problem; the cameras it reached are planned.
std::vector<TPlanEntry> PlanRange(const std::vector<TDevInfo>& cameras, std::uint32_t first,
                                  std::uint32_t last, const std::string& mask,
                                  const std::string& gateway, const std::vector<std::string>& inUse,
                                  std::vector<TPlanProblem>* problems);

/// One camera of a checked plan: the entry and the camera's listed record.
struct TPlanStep {
    TPlanEntry entry;
    TDevInfo listed;
    /// The plan step (index in steps) of the camera that must leave this step's address
    /// before it is taken; -1 when the address is free.
    int waitsFor = -1;

    std::string NewIp() const { return entry.ip.empty() ? listed.ip : entry.ip; }
    std::string NewMask() const { return entry.mask.empty() ? listed.mask : entry.mask; }
    std::string NewGateway() const {
        return entry.gateway.empty() ? listed.gateway : entry.gateway;
    }
};

struct TCheckedPlan {
    /// In the order they are to be sent.
    std::vector<TPlanStep> steps;
    /// Entries whose MAC no listed camera has: reported, the others go on.
    std::vector<TPlanEntry> notFound;
    std::vector<TPlanProblem> problems;
    bool Valid() const { return problems.empty(); }
};

/// Checks `entries` against the listed cameras (`listed`, any order) and orders the moves.
/// `reaches` tells which cameras a command reaches.
TCheckedPlan CheckPlan(const std::vector<TPlanEntry>& entries, const std::vector<TDevInfo>& listed,
                       const TReachCheck& reaches);

} // namespace zadari
