// Feeds any datagram to the KT352 parser; an accepted record is also used as the listed record
// of a setting command, and the datagram's text as edited values.
#include "protocols/Kt352.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zadari;
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    TDevInfo record;
    if (ParseKt352Reply(datagram, record)) {
        TDevInfo edited = record;
        const std::string text(datagram.substr(datagram.size() / 2));
        edited.name = text;
        edited.ip = text;
        edited.ddnsHost = text;
        edited.httpPort = static_cast<std::uint16_t>(record.httpPort + 1);
        (void)BuildKt352SetCommand(record, edited);
    }
    (void)InetAddrBytes(datagram);
    return 0;
}
