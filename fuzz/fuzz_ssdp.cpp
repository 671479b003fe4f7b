// SSDP datagrams as they arrive on port 1900 or in answer to an M-SEARCH.
#include "standards/Ssdp.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zadari::TSsdpMessage message;
    if (zadari::ParseSsdpMessage(text, message)) {
        const auto& info = message.info;
        if (info.usn.empty() || info.usn.size() > size || info.location.size() > size ||
            (message.kind != zadari::TSsdpKind::ByeBye && info.location.empty()))
            std::abort();
    }
    (void)zadari::SsdpMaxAge(text);
    return 0;
}
