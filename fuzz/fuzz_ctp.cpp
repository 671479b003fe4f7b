// CTP replies arrive from anyone on the LAN: the parser must take any bytes.
#include "protocols/Ctp.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    zadari::TDevInfo record;
    if (zadari::ParseCtpReply(datagram, record)) {
        // The setting command is built from what a reply gave.
        (void)zadari::BuildCtpSetCommand(record, record, record.userPassword);
        (void)zadari::MacWithColons(record.mac);
    }
    return 0;
}
