#pragma once
// Who takes a family's network settings when the family's command is not a datagram of ours:
// the vendor library, the family-9 client. The apply flow hands them the edited record.
#include "app/Credentials.h"
#include "protocols/DevInfo.h"

namespace zadari {

class ISettingsCarrier {
public:
    virtual ~ISettingsCarrier() = default;
    /// Sends `edited` (the settings the device should take) to the device `listed` (as it is
    /// listed now) with the entered account. True when the device or library accepted them.
    virtual bool SendSettings(const TCredentials& account, const TDevInfo& listed,
                              const TDevInfo& edited) = 0;
    /// How the result line names the carrier ("the family-9 client").
    virtual const char* CarrierName() const = 0;
};

} // namespace zadari
