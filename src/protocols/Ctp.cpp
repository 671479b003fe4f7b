#include "protocols/Ctp.h"

namespace zadari {

bool ParseCtpReply(std::string_view datagram, TDevInfo& record) {
    (void)datagram;
    (void)record;
    return false;
}

} // namespace zadari
