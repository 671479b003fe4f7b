// The adapter texts the system reads (/proc/net/route, resolv.conf, udev records, uevent files)
// come from files another program wrote: none of them may crash the reader.
#include "net/Adapters.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace zadari;
    const auto routes = ParseDefaultRoutes(text, std::endian::little);
    (void)ParseDefaultRoutes(text, std::endian::big);
    for (const auto& route : routes)
        (void)GatewayOf(routes, route.iface);
    (void)ParseNameServers(text);
    (void)EffectiveNameServers(text, {std::string(text)});
    (void)HardwareModelFromUdev(text);
    (void)UeventValue(text, "DEVTYPE");
    (void)BaseInterfaceName(text);
    return 0;
}
