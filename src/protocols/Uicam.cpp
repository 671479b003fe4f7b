#include "protocols/Uicam.h"

namespace zadari {

bool ParseUicamReply(std::string_view datagram, TDevInfo& record) {
    (void)datagram;
    (void)record;
    return false;
}

} // namespace zadari
