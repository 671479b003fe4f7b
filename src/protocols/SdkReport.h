#pragma once
// The record of one device reported by the vendor-SDK library.
#include "protocols/DevInfo.h"

#include <cstdint>

namespace zadari {

/// The report callback's arguments that make a record (texts may be null: they give "").
struct TSdkReport {
    const char* name = nullptr;
    const char* ip = nullptr;
    const std::uint8_t* mac = nullptr; ///< 6 bytes, or null
    std::uint16_t httpPort = 0;
    std::uint16_t dataPort = 0;
    const char* mask = nullptr;
    const char* gateway = nullptr;
    const char* text = nullptr;
    const char* dns = nullptr;
    std::uint16_t word = 0;
    std::int32_t value = 0;
    std::int32_t dhcp = 0;
};

/// Family 4; mac from the six bytes without a macKey (the family is keyed by its mac only);
/// ipMode 1 when the DHCP indicator is 1, else 2.
TDevInfo SdkReportToRecord(const TSdkReport& report);

} // namespace zadari
