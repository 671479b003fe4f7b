#include "app/FleetPlan.h"

#include "protocols/FamilyTable.h"
#include "standards/StandardsMac.h"

#include <algorithm>
#include <map>
#include <set>

namespace zadari {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(Trim(line.substr(start, comma - start)));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

TPlanProblem Problem(TPlanProblemKind kind, int line, std::string mac, std::string text) {
    return TPlanProblem{kind, line, std::move(mac), std::move(text)};
}

std::string LinePrefix(int line) {
    return line > 0 ? "line " + std::to_string(line) + ": " : std::string();
}

} // namespace

const char* PlanProblemKey(TPlanProblemKind kind) {
    switch (kind) {
    case TPlanProblemKind::kUnreadableLine:
        return "IDS_PLAN_UNREADABLE";
    case TPlanProblemKind::kDuplicateMac:
        return "IDS_PLAN_DUPMAC";
    case TPlanProblemKind::kDuplicateAddress:
        return "IDS_PLAN_DUPIP";
    case TPlanProblemKind::kAddressInUse:
        return "IDS_PLAN_INUSE";
    case TPlanProblemKind::kNetworkOrBroadcast:
        return "IDS_PLAN_NETADDR";
    case TPlanProblemKind::kBadMask:
        return "IDS_PLAN_BADMASK";
    case TPlanProblemKind::kNotReaddressable:
        return "IDS_PLAN_NOCOMMAND";
    case TPlanProblemKind::kNameFixed:
        return "IDS_PLAN_NAMEFIXED";
    case TPlanProblemKind::kZeroGateway:
        return "IDS_NOGAGEWAY";
    case TPlanProblemKind::kMoveCycle:
        return "IDS_PLAN_CYCLE";
    case TPlanProblemKind::kRangeTooSmall:
        return "IDS_PLAN_RANGE";
    }
    return "IDS_PLAN_UNREADABLE";
}

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
    std::uint32_t address = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        std::size_t digits = 0;
        std::uint32_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return std::nullopt;
        address = (address << 8) | value;
        if (++parts == 4)
            break;
        if (i >= text.size() || text[i] != '.')
            return std::nullopt;
        ++i;
    }
    if (i != text.size())
        return std::nullopt;
    return address;
}

std::string Ipv4Text(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool IsSubnetMask(std::uint32_t mask) {
    const std::uint32_t hostBits = ~mask;
    return mask != 0 && (hostBits & (hostBits + 1)) == 0;
}

TPlanReading ReadPlanCsv(std::string_view text) {
    TPlanReading reading;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    int line = 0;
    bool header = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        ++line;
        if (Trim(raw).empty())
            continue;
        if (header) {
            header = false;
            // A plan written without a header starts with a MAC: read it as a camera.
            if (NormalisedMac(SplitFields(raw).front()).empty())
                continue;
        }
        const std::vector<std::string_view> fields = SplitFields(raw);
        auto bad = [&](const std::string& why) {
            reading.problems.push_back(
                Problem(TPlanProblemKind::kUnreadableLine, line, "", LinePrefix(line) + why));
        };
        if (fields.size() != 5) {
            bad("expected 5 fields (mac,ip,mask,gateway,name), found " +
                std::to_string(fields.size()));
            continue;
        }
        TPlanEntry entry;
        entry.line = line;
        const std::string mac = NormalisedMac(fields[0]);
        if (mac.empty()) {
            bad("'" + std::string(fields[0]) + "' is not a MAC address");
            continue;
        }
        entry.mac = mac;
        bool readable = true;
        for (int i = 1; i <= 3 && readable; ++i) {
            if (!fields[i].empty() && !ParseIpv4(fields[i])) {
                bad("'" + std::string(fields[i]) + "' is not a dotted IPv4 address");
                readable = false;
            }
        }
        if (!readable)
            continue;
        entry.ip = std::string(fields[1]);
        entry.mask = std::string(fields[2]);
        entry.gateway = std::string(fields[3]);
        if (!fields[4].empty())
            entry.name = std::string(fields[4]);
        reading.entries.push_back(std::move(entry));
    }
    return reading;
}

std::string WritePlanCsv(const std::vector<TPlanEntry>& entries) {
    std::string text = "mac,ip,mask,gateway,name\n";
    for (const TPlanEntry& entry : entries) {
        std::string mac;
        for (std::size_t i = 0; i < entry.mac.size(); ++i)
            mac += (i > 0 && i % 2 == 0 ? ":" : "") + entry.mac.substr(i, 1);
        // A name holding a comma or a line break cannot be carried by the file's format.
        std::string name = entry.name.value_or("");
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == ',' || c == '\n' || c == '\r'; },
            ' ');
        text += mac + "," + entry.ip + "," + entry.mask + "," + entry.gateway + "," + name + "\n";
    }
    return text;
}

std::vector<TPlanEntry> PlanRange(const std::vector<TDevInfo>& cameras, std::uint32_t first,
                                  std::uint32_t last, const std::string& mask,
                                  const std::string& gateway, const std::vector<std::string>& inUse,
                                  std::vector<TPlanProblem>* problems) {
    std::set<std::uint32_t> taken;
    for (const std::string& ip : inUse) {
        if (const std::optional<std::uint32_t> address = ParseIpv4(ip))
            taken.insert(*address);
    }
    std::vector<TPlanEntry> entries;
    std::uint64_t next = first;
    for (const TDevInfo& camera : cameras) {
        const std::string mac = NormalisedMac(camera.mac);
        if (mac.empty())
            continue;
        const std::optional<std::uint32_t> cameraMask =
            ParseIpv4(mask.empty() ? camera.mask : mask);
        const std::uint32_t m = cameraMask && IsSubnetMask(*cameraMask) ? *cameraMask : 0;
        auto usable = [&](std::uint32_t address) {
            if (taken.count(address) != 0)
                return false;
            if (m == 0 || m == 0xFFFFFFFF || m == 0xFFFFFFFE)
                return true;
            const std::uint32_t host = address & ~m;
            return host != 0 && host != ~m;
        };
        while (next <= last && !usable(static_cast<std::uint32_t>(next)))
            ++next;
        if (next > last) {
            if (problems != nullptr) {
                problems->push_back(Problem(TPlanProblemKind::kRangeTooSmall, 0, "",
                                            "the range " + Ipv4Text(first) + "-" + Ipv4Text(last) +
                                                " has no free address left for " + camera.mac));
            }
            break;
        }
        TPlanEntry entry;
        entry.mac = mac;
        entry.ip = Ipv4Text(static_cast<std::uint32_t>(next));
        entry.mask = mask;
        entry.gateway = gateway;
        entries.push_back(std::move(entry));
        ++next;
    }
    return entries;
}

TCheckedPlan CheckPlan(const std::vector<TPlanEntry>& entries, const std::vector<TDevInfo>& listed,
                       const TReachCheck& reaches) {
    TCheckedPlan plan;
    std::map<std::string, const TDevInfo*> byMac;
    std::multimap<std::string, const TDevInfo*> byIp;
    for (const TDevInfo& record : listed) {
        if (const std::string mac = NormalisedMac(record.mac); !mac.empty())
            byMac.emplace(mac, &record);
        byIp.emplace(record.ip, &record);
    }

    std::map<std::string, int> macLine;
    std::map<std::string, const TPlanEntry*> ipOwner;
    for (const TPlanEntry& entry : entries) {
        const std::string where = LinePrefix(entry.line);
        if (!macLine.emplace(entry.mac, entry.line).second) {
            plan.problems.push_back(Problem(TPlanProblemKind::kDuplicateMac, entry.line, entry.mac,
                                            where + entry.mac + " is planned twice"));
            continue;
        }
        const auto found = byMac.find(entry.mac);
        if (found == byMac.end()) {
            plan.notFound.push_back(entry);
            continue;
        }
        TPlanStep step{entry, *found->second};
        const TDevInfo& camera = step.listed;
        const std::string who = where + entry.mac + " (" + camera.ip + ")";
        if (const std::optional<std::string> why = reaches(camera)) {
            plan.problems.push_back(Problem(TPlanProblemKind::kNotReaddressable, entry.line,
                                            entry.mac, who + " cannot be re-addressed: " + *why));
            continue;
        }
        const TFamilyRow* family = FindFamily(camera.family);
        if (entry.name && family != nullptr && !family->nameEditable && *entry.name != camera.name)
            plan.problems.push_back(Problem(TPlanProblemKind::kNameFixed, entry.line, entry.mac,
                                            who + ": the name of a " + std::string(family->name) +
                                                " camera cannot be changed"));
        const std::optional<std::uint32_t> ip = ParseIpv4(step.NewIp());
        const std::optional<std::uint32_t> mask = ParseIpv4(step.NewMask());
        if (!mask || !IsSubnetMask(*mask)) {
            plan.problems.push_back(Problem(TPlanProblemKind::kBadMask, entry.line, entry.mac,
                                            who + ": " + step.NewMask() + " is not a subnet mask"));
        } else if (ip && *mask != 0xFFFFFFFF && *mask != 0xFFFFFFFE) {
            const std::uint32_t host = *ip & ~*mask;
            if (host == 0 || host == ~*mask)
                plan.problems.push_back(Problem(
                    TPlanProblemKind::kNetworkOrBroadcast, entry.line, entry.mac,
                    who + ": " + step.NewIp() + " is the " + (host == 0 ? "network" : "broadcast") +
                        " address of " + step.NewMask()));
        }
        if (family != nullptr && family->refusesZeroGateway && step.NewGateway() == "0.0.0.0")
            plan.problems.push_back(Problem(TPlanProblemKind::kZeroGateway, entry.line, entry.mac,
                                            who + ": the gateway 0.0.0.0 is refused by " +
                                                std::string(family->name) + " cameras"));
        const auto owner = ipOwner.emplace(step.NewIp(), &entry);
        if (!owner.second) {
            plan.problems.push_back(Problem(
                TPlanProblemKind::kDuplicateAddress, entry.line, entry.mac,
                who + ": " + step.NewIp() + " is also planned for " + owner.first->second->mac));
        }
        plan.steps.push_back(std::move(step));
    }

    // Who holds each planned address now, and whether the plan moves it away.
    std::map<std::string, int> stepOfMac;
    for (std::size_t i = 0; i < plan.steps.size(); ++i)
        stepOfMac[plan.steps[i].entry.mac] = static_cast<int>(i);
    for (TPlanStep& step : plan.steps) {
        const std::string newIp = step.NewIp();
        if (newIp == step.listed.ip)
            continue;
        const auto [begin, end] = byIp.equal_range(newIp);
        for (auto it = begin; it != end; ++it) {
            const auto holder = stepOfMac.find(NormalisedMac(it->second->mac));
            if (holder == stepOfMac.end() ||
                plan.steps[static_cast<std::size_t>(holder->second)].NewIp() == newIp) {
                plan.problems.push_back(Problem(
                    TPlanProblemKind::kAddressInUse, step.entry.line, step.entry.mac,
                    LinePrefix(step.entry.line) + step.entry.mac + ": " + newIp + " is in use by " +
                        it->second->mac + ", which the plan does not move"));
            } else {
                step.waitsFor = holder->second;
            }
        }
    }
    if (!plan.Valid())
        return plan;

    // Order the moves: a step goes after the step it waits for. Each step waits for at most one
    // other (addresses are planned once), so the waits form chains; a chain that comes back to
    // itself is a swap no order can make.
    std::vector<int> order;
    std::vector<int> state(plan.steps.size(), 0); // 0 new, 1 on the current chain, 2 placed
    for (std::size_t start = 0; start < plan.steps.size(); ++start) {
        std::vector<int> chain;
        int at = static_cast<int>(start);
        while (at >= 0 && state[static_cast<std::size_t>(at)] == 0) {
            state[static_cast<std::size_t>(at)] = 1;
            chain.push_back(at);
            at = plan.steps[static_cast<std::size_t>(at)].waitsFor;
        }
        if (at >= 0 && state[static_cast<std::size_t>(at)] == 1) {
            std::string macs;
            for (auto it = std::find(chain.begin(), chain.end(), at); it != chain.end(); ++it)
                macs += (macs.empty() ? "" : ", ") +
                        plan.steps[static_cast<std::size_t>(*it)].entry.mac;
            plan.problems.push_back(Problem(TPlanProblemKind::kMoveCycle, 0, "",
                                            "the cameras " + macs +
                                                " would take each other's addresses; move one "
                                                "of them through a free address first"));
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            state[static_cast<std::size_t>(*it)] = 2;
            order.push_back(*it);
        }
    }
    if (!plan.Valid())
        return plan;
    std::vector<TPlanStep> ordered;
    std::vector<int> newIndex(plan.steps.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        newIndex[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    for (const int index : order) {
        TPlanStep step = plan.steps[static_cast<std::size_t>(index)];
        if (step.waitsFor >= 0)
            step.waitsFor = newIndex[static_cast<std::size_t>(step.waitsFor)];
        ordered.push_back(std::move(step));
    }
    plan.steps = std::move(ordered);
    return plan;
}

} // namespace zadari
