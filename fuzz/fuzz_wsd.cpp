// WS-Discovery messages as they arrive on port 3702: any datagram must give a defined result,
// and what is taken stays within the limits the parser promises.
#include "standards/StandardsMac.h"
#include "standards/WsDiscovery.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zadari::TWsdMessage message;
    if (!zadari::ParseWsdMessage(text, message))
        return 0;
    if (message.endpoints.empty() || message.endpoints.size() > zadari::kWsdMatchesMax)
        std::abort();
    for (const auto& info : message.endpoints) {
        if (info.endpoint.empty() || info.types.size() > 16 || info.scopes.size() > 64 ||
            info.xaddrs.size() > 16)
            std::abort();
        (void)zadari::IsOnvifDevice(info);
        const std::string mac = zadari::MacOfOnvif(info);
        if (!mac.empty() && mac.size() != 12)
            std::abort();
    }
    (void)zadari::UrlDecoded(text);
    return 0;
}
