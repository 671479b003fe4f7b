#pragma once
#include "protocols/DevInfo.h"

#include <string_view>

namespace zadari {

bool ParseHdsReply(std::string_view datagram, TDevInfo& record);

} // namespace zadari
