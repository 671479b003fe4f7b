#pragma once
// The computer's own network adapters and their IPv4 settings, for the "Current Computer" group
// and `zadari-cli adapters`. Reading them sends nothing on the network.
//
// On Linux the addresses come from getifaddrs, the gateways from the default routes of
// /proc/net/route and the name servers from resolv.conf (or the real file behind a local stub
// resolver). The text parsers are pure functions so that they are tested on fixture texts.
#include <QString>

#include <bit>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

/// One adapter with an IPv4 address. A value that is missing or unreadable is empty.
struct TNET_CARD {
    QString name;        ///< the interface name ("eth0"), the key the system knows it by
    QString description; ///< what the adapter combo shows: the name and, when known, the model
    QString gateway;     ///< default gateway, dotted decimal
    QString ip;          ///< first IPv4 address, dotted decimal
    QString mask;        ///< its subnet mask, dotted decimal
    QString dns1;        ///< primary name server
    QString dns2;        ///< secondary name server
};

/// The adapter list, in the order the system enumerates the adapters.
using TAdapterList = std::vector<TNET_CARD>;

/// Where the enumeration reads the system's state; tests point it at a folder of fixtures.
struct TAdapterSources {
    QString procNetRoute = QStringLiteral("/proc/net/route");
    QString resolvConf = QStringLiteral("/etc/resolv.conf");
    /// Files that hold the upstream servers when resolvConf names only a local stub resolver.
    std::vector<QString> stubUpstreamFiles = {
        QStringLiteral("/run/systemd/resolve/resolv.conf"),
        QStringLiteral("/run/NetworkManager/no-stub-resolv.conf")};
    QString sysClassNet = QStringLiteral("/sys/class/net");
    QString udevData = QStringLiteral("/run/udev/data");
};

/// Appends the adapters of the running system that have an IPv4 address (not loopback, not
/// 0.0.0.0) to `list`. Failures are silent: they leave fewer adapters or empty fields.
void ListAdapters(TAdapterList& list, const TAdapterSources& sources = TAdapterSources());
/// Disposes every record and empties the list.
void FreeAdapters(TAdapterList& list);

// ---- pure parts ------------------------------------------------------------------------------

/// One IPv4 address of an interface as getifaddrs reports it.
struct TInterfaceAddress {
    std::string name; ///< as reported; a labelled secondary address reads "eth0:1"
    std::string ip;
    std::string mask;
    bool loopback = false;
};

/// One default route of /proc/net/route.
struct TDefaultRoute {
    std::string iface;
    std::string gateway; ///< dotted decimal
    std::uint32_t metric = 0;
};

/// The default routes (destination and mask 0, up, via a gateway) of a /proc/net/route text.
/// The kernel prints each address as the host's 32-bit view of the network-order bytes, so the
/// host's byte order is needed to read them back. Malformed lines are skipped.
std::vector<TDefaultRoute> ParseDefaultRoutes(std::string_view procNetRoute,
                                              std::endian hostOrder = std::endian::native);

/// The gateway of the interface's default route with the lowest metric ("" when none).
std::string GatewayOf(const std::vector<TDefaultRoute>& routes, std::string_view iface);

/// The IPv4 name servers of a resolv.conf text, in file order (IPv6 entries are left out).
std::vector<std::string> ParseNameServers(std::string_view resolvConf);

/// The name servers a camera on this network can use: those of `resolvConf`, or, when it names
/// only loopback addresses (a local stub resolver such as 127.0.0.53), those of the first of
/// `upstreamTexts` that names a real one. Loopback addresses are never returned.
std::vector<std::string> EffectiveNameServers(std::string_view resolvConf,
                                              const std::vector<std::string>& upstreamTexts);

/// The hardware model of a udev database record ("E:KEY=value" lines): vendor and model from
/// the hardware database, or else the ones the device reports; "" when the record has none.
std::string HardwareModelFromUdev(std::string_view udevRecord);

/// The value of KEY in a sysfs uevent text ("KEY=value" lines); "" when absent.
std::string UeventValue(std::string_view uevent, std::string_view key);

/// The combo text: the interface name, followed by what it is in parentheses when known.
std::string MakeDescription(std::string_view name, std::string_view model);

/// The interface name an address belongs to: "eth0:1" belongs to "eth0".
std::string BaseInterfaceName(std::string_view name);

/// The adapter list from the enumerated addresses: one entry per interface (its first usable
/// address), loopback and 0.0.0.0 left out, in enumeration order. `descriptions` maps
/// interface names to their descriptions (missing ones get the bare name).
TAdapterList BuildAdapters(const std::vector<TInterfaceAddress>& addresses,
                           const std::vector<TDefaultRoute>& routes,
                           const std::vector<std::string>& nameServers,
                           const std::map<std::string, std::string>& descriptions);

/// The description of one interface from sysfs and the udev database under `sources`.
std::string DescribeInterface(const std::string& name, unsigned ifindex,
                              const TAdapterSources& sources);

} // namespace zadari
