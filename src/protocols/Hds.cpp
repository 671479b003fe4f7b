#include "protocols/Hds.h"

#include "protocols/CommaText.h"
#include "protocols/CtpHdsFraming.h"
#include "protocols/Encoding.h"

namespace zadari {

bool SendHdsSearch(TDatagramSender& sender, std::string_view clientId, const std::string& group,
                   std::uint16_t port) {
    const std::string search = BuildHdsSearch(clientId);
    GuardedSend(sender, ToByteView(search), group, port);
    return true;
}

namespace {

struct THdsKey {
    std::string_view key; ///< with its "="
    void (*take)(TDevInfo& record, const std::string& value);
};

constexpr THdsKey kHdsKeys[] = {
    {"Device-ID=", [](TDevInfo& r, const std::string& v) { r.deviceId = v; }},
    {"Device-Name=", [](TDevInfo& r, const std::string& v) { r.name = v; }},
    {"IP=", [](TDevInfo& r, const std::string& v) { r.ip = v; }},
    {"MASK=", [](TDevInfo& r, const std::string& v) { r.mask = v; }},
    {"Http-Port=",
     [](TDevInfo& r, const std::string& v) {
         r.httpPort = static_cast<std::uint16_t>(DecimalOr(v, 80));
     }},
    {"Fdns=", [](TDevInfo& r, const std::string& v) { r.dns1 = v; }},
    {"Sdns=", [](TDevInfo& r, const std::string& v) { r.dns2 = v; }},
    {"MAC=",
     [](TDevInfo& r, const std::string& v) {
         r.mac = v;
         r.macKey = MacKeyOf(r.mac);
     }},
    // Without a "Dhcp=" line the mode stays as the caller cleared it.
    {"Dhcp=", [](TDevInfo& r, const std::string& v) { r.ipMode = v == "0" ? 2 : 1; }},
    // "Ddns" is the device's switch for automatic DNS servers, not its dynamic-DNS client.
    {"Ddns=", [](TDevInfo& r, const std::string& v) { r.dnsAuto = v == "1" ? 1 : 0; }},
    {"Gateway=", [](TDevInfo& r, const std::string& v) { r.gateway = v; }},
    {"DDNS-Enable=", [](TDevInfo& r, const std::string& v) { r.ddnsEnabled = v == "y" ? 1 : 0; }},
    {"DDNS-User=", [](TDevInfo& r, const std::string& v) { r.ddnsUser = v; }},
    {"DDNS-Passwd=", [](TDevInfo& r, const std::string& v) { r.ddnsPassword = v; }},
    {"DDNS-Host=", [](TDevInfo& r, const std::string& v) { r.ddnsHost = v; }},
    {"DDNS-Port=", [](TDevInfo& r, const std::string& v) { r.ddnsPort = DecimalOr(v, 808); }},
    {"Software-Version=", [](TDevInfo& r, const std::string& v) { r.version = v; }},
};

} // namespace

bool ParseHdsReply(std::string_view datagram, TDevInfo& record) {
    if (!datagram.starts_with("HDS/1.0 200 OK"))
        return false;
    record.family = kFamilyHds;
    const TTextLines lines = SplitReplyLines(datagram);
    std::string value;
    for (const THdsKey& key : kHdsKeys) {
        if (GetHdsValue(key.key, lines, value))
            key.take(record, value);
    }
    return true;
}

namespace {
const char* OnOff(bool on) {
    return on ? "on" : "off";
}
} // namespace

std::vector<std::string> HdsSetCommandLines(const TDevInfo& listed, const TDevInfo& edited) {
    std::vector<std::string> lines;
    if (edited.ip != listed.ip || edited.mask != listed.mask || edited.gateway != listed.gateway ||
        edited.ipMode != listed.ipMode || edited.dns1 != listed.dns1 ||
        edited.dns2 != listed.dns2 || edited.dnsAuto != listed.dnsAuto ||
        edited.mac != listed.mac) {
        std::string line = "netconf set -ipaddr " + edited.ip;
        line += " -netmask " + edited.mask;
        line += " -gateway " + edited.gateway;
        line += std::string(" -dhcp ") + OnOff(edited.ipMode == 1);
        line += " -fdnsip " + edited.dns1;
        line += " -sdnsip " + edited.dns2;
        line += std::string(" -dnsstat ") + (edited.dnsAuto != 0 ? "1" : "0");
        line += " -hwaddr " + edited.mac;
        lines.push_back(std::move(line));
    }
    if (edited.name != listed.name)
        lines.push_back("dnameset set -name " + edited.name);
    if (edited.ddnsEnabled != listed.ddnsEnabled || edited.ddnsPort != listed.ddnsPort ||
        edited.ddnsUser != listed.ddnsUser || edited.ddnsPassword != listed.ddnsPassword ||
        edited.ddnsHost != listed.ddnsHost) {
        std::string line = std::string("ddnsset set -fenable ") + OnOff(edited.ddnsEnabled != 0);
        line += " -fport " + std::to_string(edited.ddnsPort);
        line += " -fuser " + edited.ddnsUser;
        line += " -fpasswd " + edited.ddnsPassword;
        line += " -fhost " + edited.ddnsHost;
        lines.push_back(std::move(line));
    }
    if (edited.httpPort != listed.httpPort)
        lines.push_back("httpport set -httpport " + std::to_string(edited.httpPort));
    return lines;
}

std::vector<std::string> BuildHdsSetCommands(const TDevInfo& listed, const TDevInfo& edited,
                                             std::string_view userName, std::string_view password,
                                             std::string_view clientId) {
    if (HasLineBreak(userName) || HasLineBreak(password) || HasLineBreak(clientId) ||
        HasLineBreak(edited.deviceId))
        return {};
    std::vector<std::string> commands;
    for (const auto& line : HdsSetCommandLines(listed, edited)) {
        if (HasLineBreak(line))
            return {};
        commands.push_back(BuildHdsCommand(clientId, userName, password, edited.deviceId, line));
    }
    return commands;
}

bool SetHdsNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                   std::string_view password, std::string_view clientId, TDatagramSender& sender,
                   const std::string& group, std::uint16_t port) {
    const auto lines = HdsSetCommandLines(listed, edited);
    const auto commands = BuildHdsSetCommands(listed, edited, userName, password, clientId);
    if (commands.size() != lines.size())
        return false;
    for (const auto& command : commands)
        if (!GuardedSend(sender, ToByteView(command), group, port))
            return false;
    return true;
}

} // namespace zadari
