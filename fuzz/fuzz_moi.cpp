// Feeds any datagram to the MO_I parser; an accepted record is also turned into the setting
// command, and the datagram's text is tried as an address.
#include "protocols/Moi.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zadari;
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    TDevInfo record;
    if (ParseMoiReply(datagram, record))
        (void)BuildMoiSetCommand(record, record.name, record.ddnsUser);
    (void)DottedToBytes(datagram);
    (void)IsWellFormedUtf8(datagram);
    return 0;
}
