#include "net/Adapters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <set>

namespace zadari {

namespace {

constexpr std::size_t kDescriptionBytes = 255;
constexpr std::size_t kAddressBytes = 127;
// System files read here are small; a larger one is not what we expect and is cut.
constexpr qint64 kMaxFileBytes = 64 * 1024;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

/// Calls `onLine` for every line of `text` (without its line end).
template <typename F> void ForEachLine(std::string_view text, F onLine) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        onLine(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSpace(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsSpace(line[i]))
            ++i;
        if (i > start)
            tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

std::optional<std::uint32_t> ParseHex32(std::string_view text) {
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = (value << 4) | std::uint32_t(digit);
    }
    return value;
}

std::optional<std::uint32_t> ParseDecimal32(std::string_view text) {
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return std::uint32_t(value);
}

std::string DottedOfKernelWord(std::uint32_t word, std::endian hostOrder) {
    std::uint8_t b[4];
    if (hostOrder == std::endian::little) {
        b[0] = std::uint8_t(word);
        b[1] = std::uint8_t(word >> 8);
        b[2] = std::uint8_t(word >> 16);
        b[3] = std::uint8_t(word >> 24);
    } else {
        b[0] = std::uint8_t(word >> 24);
        b[1] = std::uint8_t(word >> 16);
        b[2] = std::uint8_t(word >> 8);
        b[3] = std::uint8_t(word);
    }
    return std::to_string(b[0]) + '.' + std::to_string(b[1]) + '.' + std::to_string(b[2]) + '.' +
           std::to_string(b[3]);
}

bool IsIPv4(std::string_view text) {
    if (text.empty() || text.size() > 15)
        return false;
    const std::string copy(text);
    in_addr address{};
    return inet_pton(AF_INET, copy.c_str(), &address) == 1;
}

/// Loopback and 0.0.0.0 both mean "this computer": no use to a camera.
bool IsLocalOnly(std::string_view ipv4) {
    return ipv4.substr(0, 4) == "127." || ipv4 == "0.0.0.0";
}

/// Printable text only: file contents end up in a combo box and on a terminal.
std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            out += c;
        else if (c == '\t')
            out += ' ';
    }
    return std::string(Trim(out));
}

/// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

QString Field(const std::string& text, std::size_t limit) {
    return QString::fromUtf8(CutUtf8(text, limit));
}

/// Decodes the \xHH escapes udev uses in its *_ENC values.
std::string DecodeUdevEscapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            if (const auto value = ParseHex32(text.substr(i + 2, 2))) {
                out += char(*value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.read(kMaxFileBytes);
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

/// A name the kernel could have given an interface: no path tricks in what we build paths of.
bool IsSafeInterfaceName(const std::string& name) {
    if (name.empty() || name.size() >= IFNAMSIZ || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || IsSpace(c) || c == 0; });
}

std::string TextOfAddress(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr)
        return {};
    return text;
}

} // namespace

std::vector<TDefaultRoute> ParseDefaultRoutes(std::string_view procNetRoute,
                                              std::endian hostOrder) {
    constexpr std::uint32_t kRouteUp = 0x0001;
    constexpr std::uint32_t kRouteGateway = 0x0002;
    std::vector<TDefaultRoute> routes;
    ForEachLine(procNetRoute, [&](std::string_view line) {
        const auto tokens = SplitBlanks(line);
        // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
        if (tokens.size() < 8)
            return;
        const auto destination = ParseHex32(tokens[1]);
        const auto gateway = ParseHex32(tokens[2]);
        const auto flags = ParseHex32(tokens[3]);
        const auto metric = ParseDecimal32(tokens[6]);
        const auto mask = ParseHex32(tokens[7]);
        if (!destination || !gateway || !flags || !metric || !mask)
            return; // the header line and anything garbled
        if (*destination != 0 || *mask != 0 || (*flags & kRouteUp) == 0 ||
            (*flags & kRouteGateway) == 0)
            return;
        routes.push_back(
            {std::string(tokens[0]), DottedOfKernelWord(*gateway, hostOrder), *metric});
    });
    return routes;
}

std::string GatewayOf(const std::vector<TDefaultRoute>& routes, std::string_view iface) {
    const TDefaultRoute* best = nullptr;
    for (const TDefaultRoute& route : routes) {
        if (route.iface == iface && (best == nullptr || route.metric < best->metric))
            best = &route;
    }
    return best != nullptr ? best->gateway : std::string();
}

std::vector<std::string> ParseNameServers(std::string_view resolvConf) {
    std::vector<std::string> servers;
    ForEachLine(resolvConf, [&](std::string_view line) {
        const auto tokens = SplitBlanks(line);
        if (tokens.size() < 2 || tokens[0] != "nameserver")
            return; // comments start with '#' or ';' and so never read "nameserver"
        if (IsIPv4(tokens[1]))
            servers.emplace_back(tokens[1]);
    });
    return servers;
}

std::vector<std::string> EffectiveNameServers(std::string_view resolvConf,
                                              const std::vector<std::string>& upstreamTexts) {
    auto usable = [](std::vector<std::string> servers) {
        std::erase_if(servers, [](const std::string& s) { return IsLocalOnly(s); });
        return servers;
    };
    const std::vector<std::string> listed = ParseNameServers(resolvConf);
    const bool onlyLocalStub = !listed.empty() && usable(listed).empty();
    if (!onlyLocalStub)
        return usable(listed);
    for (const std::string& text : upstreamTexts) {
        std::vector<std::string> upstream = usable(ParseNameServers(text));
        if (!upstream.empty())
            return upstream;
    }
    return {};
}

std::string UeventValue(std::string_view uevent, std::string_view key) {
    std::string value;
    bool found = false;
    ForEachLine(uevent, [&](std::string_view line) {
        if (found || line.size() <= key.size() || line.substr(0, key.size()) != key ||
            line[key.size()] != '=')
            return;
        value = Printable(line.substr(key.size() + 1));
        found = true;
    });
    return value;
}

std::string HardwareModelFromUdev(std::string_view udevRecord) {
    std::map<std::string, std::string, std::less<>> properties;
    ForEachLine(udevRecord, [&](std::string_view line) {
        if (line.substr(0, 2) != "E:")
            return;
        line.remove_prefix(2);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0)
            return;
        properties.emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    });
    auto get = [&](std::string_view key) -> std::string {
        const auto it = properties.find(key);
        return it == properties.end() ? std::string() : Printable(it->second);
    };
    auto reported = [&](std::string_view encKey, std::string_view plainKey) {
        std::string value = Printable(DecodeUdevEscapes(get(encKey)));
        if (value.empty()) {
            value = get(plainKey);
            std::replace(value.begin(), value.end(), '_', ' ');
        }
        return std::string(Trim(value));
    };
    std::string vendor = get("ID_VENDOR_FROM_DATABASE");
    std::string model = get("ID_MODEL_FROM_DATABASE");
    if (vendor.empty())
        vendor = reported("ID_VENDOR_ENC", "ID_VENDOR");
    if (model.empty())
        model = reported("ID_MODEL_ENC", "ID_MODEL");
    if (model.empty())
        return vendor;
    if (vendor.empty() || model.compare(0, vendor.size(), vendor) == 0)
        return model;
    return vendor + ' ' + model;
}

std::string MakeDescription(std::string_view name, std::string_view model) {
    const std::string what = Printable(model);
    std::string description = Printable(name);
    if (!what.empty())
        description += " (" + what + ')';
    return CutUtf8(description, kDescriptionBytes);
}

std::string BaseInterfaceName(std::string_view name) {
    return std::string(name.substr(0, name.find(':')));
}

TAdapterList BuildAdapters(const std::vector<TInterfaceAddress>& addresses,
                           const std::vector<TDefaultRoute>& routes,
                           const std::vector<std::string>& nameServers,
                           const std::map<std::string, std::string>& descriptions) {
    TAdapterList list;
    std::set<std::string> seen;
    const std::string dns1 = nameServers.size() > 0 ? nameServers[0] : std::string();
    const std::string dns2 = nameServers.size() > 1 ? nameServers[1] : std::string();
    for (const TInterfaceAddress& address : addresses) {
        if (address.loopback || address.ip.empty() || address.ip == "0.0.0.0")
            continue;
        const std::string name = BaseInterfaceName(address.name);
        if (!seen.insert(name).second)
            continue; // the first address of an interface is the one shown
        const auto described = descriptions.find(name);
        TNET_CARD card;
        card.name = QString::fromUtf8(name);
        card.description =
            Field(described != descriptions.end() ? described->second : MakeDescription(name, {}),
                  kDescriptionBytes);
        card.ip = Field(address.ip, kAddressBytes);
        card.mask = Field(address.mask, kAddressBytes);
        card.gateway = Field(GatewayOf(routes, name), kAddressBytes);
        card.dns1 = Field(dns1, kAddressBytes);
        card.dns2 = Field(dns2, kAddressBytes);
        list.push_back(std::move(card));
    }
    return list;
}

std::string DescribeInterface(const std::string& name, unsigned ifindex,
                              const TAdapterSources& sources) {
    if (!IsSafeInterfaceName(name))
        return MakeDescription(name, {});
    const QString dir = sources.sysClassNet + QLatin1Char('/') + QString::fromUtf8(name);
    std::string what;
    if (ifindex != 0)
        what = HardwareModelFromUdev(
            ReadSmallFile(sources.udevData + QStringLiteral("/n") + QString::number(ifindex)));
    if (what.empty())
        what = UeventValue(ReadSmallFile(dir + QStringLiteral("/device/uevent")), "DRIVER");
    if (what.empty()) {
        if (QFileInfo::exists(dir + QStringLiteral("/wireless")))
            what = "Wi-Fi";
        else if (QFileInfo::exists(dir + QStringLiteral("/bridge")))
            what = "bridge";
        else
            what = UeventValue(ReadSmallFile(dir + QStringLiteral("/uevent")), "DEVTYPE");
    }
    if (what.empty() && QFileInfo::exists(dir) &&
        !QFileInfo::exists(dir + QStringLiteral("/device")))
        what = "virtual";
    return MakeDescription(name, what);
}

void ListAdapters(TAdapterList& list, const TAdapterSources& sources) {
    std::vector<TInterfaceAddress> addresses;
    ifaddrs* head = nullptr;
    if (getifaddrs(&head) != 0)
        return;
    for (const ifaddrs* it = head; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET ||
            it->ifa_name == nullptr)
            continue;
        TInterfaceAddress address;
        address.name = it->ifa_name;
        address.ip = TextOfAddress(it->ifa_addr);
        address.mask = TextOfAddress(it->ifa_netmask);
        address.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        addresses.push_back(std::move(address));
    }
    freeifaddrs(head);

    std::map<std::string, std::string> descriptions;
    for (const TInterfaceAddress& address : addresses) {
        const std::string name = BaseInterfaceName(address.name);
        if (address.loopback || descriptions.count(name) != 0)
            continue;
        descriptions[name] = DescribeInterface(name, if_nametoindex(name.c_str()), sources);
    }

    std::vector<std::string> upstream;
    for (const QString& path : sources.stubUpstreamFiles)
        upstream.push_back(ReadSmallFile(path));
    const std::vector<std::string> servers =
        EffectiveNameServers(ReadSmallFile(sources.resolvConf), upstream);
    const std::vector<TDefaultRoute> routes =
        ParseDefaultRoutes(ReadSmallFile(sources.procNetRoute));

    TAdapterList found = BuildAdapters(addresses, routes, servers, descriptions);
    list.insert(list.end(), std::make_move_iterator(found.begin()),
                std::make_move_iterator(found.end()));
}

void FreeAdapters(TAdapterList& list) {
    list.clear();
}

} // namespace zadari
