// Re-addressing plan files as a user may hand them in, checked against a small list.
#include "app/FleetPlan.h"
#include "protocols/FamilyTable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const zadari::TPlanReading reading = zadari::ReadPlanCsv(text);
    for (const zadari::TPlanEntry& entry : reading.entries) {
        if (entry.mac.size() != 12)
            std::abort();
    }
    std::vector<zadari::TDevInfo> listed(3);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        listed[i].family = zadari::kFamilyPeltra;
        listed[i].protocolVersion = 2;
        listed[i].mac = "02:5A:00:00:00:0" + std::to_string(i + 1);
        listed[i].ip = "10.0.0." + std::to_string(i + 1);
        listed[i].mask = "255.255.255.0";
        listed[i].gateway = "10.0.0.254";
    }
    const zadari::TCheckedPlan plan = zadari::CheckPlan(
        reading.entries, listed, [](const zadari::TDevInfo&) { return std::nullopt; });
    // A valid plan sends each camera once, and never before the camera it waits for.
    if (plan.Valid()) {
        for (std::size_t i = 0; i < plan.steps.size(); ++i) {
            if (plan.steps[i].waitsFor >= static_cast<int>(i))
                std::abort();
        }
    }
    return 0;
}
