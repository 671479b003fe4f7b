#include "protocols/Hds.h"

namespace zadari {

bool ParseHdsReply(std::string_view datagram, TDevInfo& record) {
    (void)datagram;
    (void)record;
    return false;
}

} // namespace zadari
