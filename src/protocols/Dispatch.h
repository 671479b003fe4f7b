#pragma once
// Picks the family parser for a received datagram by its leading magic.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <functional>
#include <string>
#include <string_view>

namespace zadari {

/// What the family-8 exchange needs besides the datagram: the endpoint its answers leave
/// through, and a look-up of a listed device by its exact MAC text.
struct TDispatchContext {
    TDatagramSender* sender6801 = nullptr;
    std::function<const TDevInfo*(const std::string& mac)> findRowByMac;
};

/// `record` is cleared by the caller (family -1). True when it now describes a device to merge.
bool DispatchReply(std::string_view datagram, TDevInfo& record, const TDispatchContext& context);

} // namespace zadari
