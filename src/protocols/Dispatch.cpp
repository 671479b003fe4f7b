#include "protocols/Dispatch.h"

namespace zadari {

bool DispatchReply(std::string_view datagram, TDevInfo& record, const TDispatchContext& context) {
    // Placeholder until the family parsers are wired in.
    (void)datagram;
    (void)record;
    (void)context;
    return false;
}

} // namespace zadari
