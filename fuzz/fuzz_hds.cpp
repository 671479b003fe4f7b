// HDS replies arrive by multicast from anyone on the LAN: the parser must take any bytes.
#include "protocols/Hds.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    zadari::TDevInfo record;
    if (zadari::ParseHdsReply(datagram, record)) {
        zadari::TDevInfo edited = record;
        edited.name += "x";
        edited.httpPort = static_cast<std::uint16_t>(edited.httpPort + 1);
        (void)zadari::BuildHdsSetCommands(record, edited, "admin", "pw",
                                          "00000000-0000-0000-0000-000000000000");
    }
    return 0;
}
