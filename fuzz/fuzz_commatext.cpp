// Feeds any datagram to the comma-text parsers; an accepted record is also turned back into the
// setting commands, as the apply flow would.
#include "protocols/CommaText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zadari;
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    for (auto parse : {ParsePeltraReply, ParseZorixReply, ParseZorixNetReply}) {
        TDevInfo record;
        if (parse(datagram, record)) {
            TDevInfo edited = record;
            edited.ipMode = static_cast<std::uint8_t>(size % 3);
            (void)BuildPeltraSetCommand(record, edited, "admin", "");
            (void)BuildZorixNetSetCommand(record, edited, "admin", "");
            (void)BuildPeltraCommand3(record);
        }
    }
    (void)DecimalOr(datagram, 80);
    return 0;
}
