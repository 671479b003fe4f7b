#include "protocols/Port6801.h"

namespace zadari {

bool Handle6801Message(std::string_view datagram, TDevInfo& record,
                       const TDispatchContext& context) {
    (void)datagram;
    (void)record;
    (void)context;
    return false;
}

} // namespace zadari
