#include "protocols/Ctp.h"

#include "protocols/CommaText.h"
#include "protocols/CtpHdsFraming.h"
#include "protocols/Encoding.h"

#include <initializer_list>

namespace zadari {

std::string BuildCtpSearch() {
    return "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
}

bool SendCtpSearch(TDatagramSender& sender, std::uint16_t port) {
    const std::string search = BuildCtpSearch();
    GuardedSend(sender, ToByteView(search), kBroadcastAddress, port);
    return true;
}

namespace {

struct TCtpKey {
    std::string_view name;
    void (*take)(TDevInfo& record, std::string& value);
};

// Looked up in this order: with the prefix rule a shorter name can take a longer name's line
// ("-ddns" and "-ddnsuser"), exactly as the devices' own tools read it.
constexpr TCtpKey kCtpKeys[] = {
    {"-sn", [](TDevInfo& r, std::string& v) { r.deviceId = v; }},
    {"-name", [](TDevInfo& r, std::string& v) { r.name = v; }},
    {"-ip", [](TDevInfo& r, std::string& v) { r.ip = v; }},
    {"-netmask", [](TDevInfo& r, std::string& v) { r.mask = v; }},
    {"-portctp", [](TDevInfo& r,
                    std::string& v) { r.httpPort = static_cast<std::uint16_t>(DecimalOr(v, 80)); }},
    {"-mdns", [](TDevInfo& r, std::string& v) { r.dns1 = v; }},
    {"-sdns", [](TDevInfo& r, std::string& v) { r.dns2 = v; }},
    {"-mac",
     [](TDevInfo& r, std::string& v) {
         std::erase(v, ':');
         r.mac = v;
         r.macKey = MacKeyOf(r.mac);
     }},
    {"-gw", [](TDevInfo& r, std::string& v) { r.gateway = v; }},
    {"-ddnsuser", [](TDevInfo& r, std::string& v) { r.ddnsUser = v; }},
    {"-ddnspswd", [](TDevInfo& r, std::string& v) { r.ddnsPassword = v; }},
    {"-ddns", [](TDevInfo& r, std::string& v) { r.ddnsHost = v; }},
    {"-version", [](TDevInfo& r, std::string& v) { r.version = v; }},
};

} // namespace

bool ParseCtpReply(std::string_view datagram, TDevInfo& record) {
    if (!datagram.starts_with("REPLY"))
        return false;
    record.family = kFamilyCtp;
    record.ipMode = 2;
    const TTextLines lines = SplitReplyLines(datagram);
    std::string value;
    for (const TCtpKey& key : kCtpKeys) {
        if (GetCtpValue(key.name, lines, value))
            key.take(record, value);
    }
    return true;
}

std::string MacWithColons(std::string_view text) {
    if (text.size() % 2 != 0)
        text.remove_prefix(1);
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (!out.empty())
            out.push_back(':');
        out.append(text.substr(i, 2));
    }
    return out;
}

std::string BuildCtpSetCommand(const TDevInfo& listed, const TDevInfo& edited,
                               std::string_view password) {
    const std::string mac = MacWithColons(edited.mac);
    const std::string port = std::to_string(edited.httpPort);
    for (std::string_view value :
         {std::string_view(edited.deviceId), std::string_view(listed.ip), password,
          std::string_view(edited.ip), std::string_view(edited.mask),
          std::string_view(edited.gateway), std::string_view(edited.name),
          std::string_view(edited.dns1), std::string_view(edited.dns2), std::string_view(mac)})
        if (HasLineBreak(value))
            return {};

    std::string arguments;
    arguments += CtpArgumentLine("-sn", edited.deviceId);
    arguments += CtpArgumentLine("-interface", listed.ip);
    arguments += CtpArgumentLine("-pswd", password);
    arguments += edited.ipMode == 1 ? "-dhcpen 1\r\n" : "-dhcpen 0\r\n";
    arguments += CtpArgumentLine("-ip", edited.ip);
    arguments += CtpArgumentLine("-netmask", edited.mask);
    arguments += CtpArgumentLine("-defgw", edited.gateway);
    arguments += CtpArgumentLine("-name", edited.name);
    arguments += CtpArgumentLine("-mdns", edited.dns1);
    arguments += CtpArgumentLine("-sdns", edited.dns2);
    arguments += CtpArgumentLine("-mac", mac);
    arguments += CtpArgumentLine("-port", port);
    return BuildCtpCommand("setip", arguments);
}

bool SetCtpNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view password,
                   TDatagramSender& sender, std::uint16_t /*port*/) {
    const std::string command = BuildCtpSetCommand(listed, edited, password);
    if (command.empty())
        return false;
    return GuardedSend(sender, ToByteView(command), kBroadcastAddress, kCtpPort);
}

} // namespace zadari
