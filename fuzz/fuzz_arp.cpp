// The kernel's neighbour table text (/proc/net/arp) as the standard providers read it.
#include "net/NeighbourTable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& [ip, mac] : zadari::ParseArpTable(text, 64)) {
        if (ip.empty() || ip.size() > 15 || mac.size() != 17)
            std::abort();
    }
    return 0;
}
