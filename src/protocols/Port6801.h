#pragma once
#include "protocols/DevInfo.h"
#include "protocols/Dispatch.h"

#include <string_view>

namespace zadari {

/// The family-8 exchange for a datagram whose bytes 0 and 1 are 0x10 0x10 (at least 3 bytes).
bool Handle6801Message(std::string_view datagram, TDevInfo& record,
                       const TDispatchContext& context);

} // namespace zadari
