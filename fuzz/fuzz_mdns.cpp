// DNS messages as multicast DNS responders send them (ldns reads the wire format; this checks
// what we take from it).
#include "standards/DnsSd.h"
#include "standards/StandardsMac.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zadari::TMdnsAnswer answer;
    if (!zadari::ParseMdnsAnswer(zadari::TByteView(data, size), answer))
        return 0;
    if (answer.instances.size() > zadari::kMdnsInstancesMax ||
        (answer.instances.empty() && answer.serviceTypes.empty()))
        std::abort();
    for (const auto& info : answer.instances) {
        if (info.instance.empty() || info.instance.size() > 63 || info.serviceTypes.size() != 1 ||
            info.addresses.size() > 8 || info.txt.size() > 64)
            std::abort();
        const std::string mac = zadari::MacOfMdns(info);
        if (!mac.empty() && mac.size() != 12)
            std::abort();
    }
    return 0;
}
