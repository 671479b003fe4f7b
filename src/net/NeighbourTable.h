#pragma once
// The kernel's IPv4 neighbour table (ARP): the hardware address of a device on one of our links.
// A device whose own answers carry no MAC is matched with the other rows of the list by it.
#include <QElapsedTimer>

#include <string>
#include <string_view>
#include <unordered_map>

namespace zadari {

/// Reads the text of /proc/net/arp: address -> hardware address as written there
/// ("00:1a:2b:3c:4d:5e"), for complete entries (flag 0x2) only. Lines that do not fit the
/// table's layout are skipped; at most `maxEntries` are taken.
std::unordered_map<std::string, std::string> ParseArpTable(std::string_view text,
                                                           std::size_t maxEntries = 65536);

/// The table read from the kernel, kept for a short while: a burst of answers asks once.
class TNeighbourTable {
public:
    explicit TNeighbourTable(std::string path = "/proc/net/arp", qint64 maxAgeMs = 500);
    /// The hardware address of `ip`, "" when the kernel knows none. A miss reads the table
    /// again when the kept copy is older than a tenth of the maximum age.
    std::string MacOf(const std::string& ip);

private:
    void Read();

    std::string path_;
    qint64 maxAgeMs_;
    QElapsedTimer age_;
    std::unordered_map<std::string, std::string> entries_;
};

} // namespace zadari
