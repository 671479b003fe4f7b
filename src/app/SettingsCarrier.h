#pragma once
// Who takes a family's network settings when the family's command is not a datagram of ours:
// the vendor library, the family-9 client, the ONVIF device service. The apply flow hands them
// the edited record.
#include "app/Credentials.h"
#include "protocols/DevInfo.h"

#include <string>

namespace zadari {

/// What a carrier can say about its last read or send beyond true or false.
struct TCarrierNote {
    /// The IDS_ key of a message for the user (an error after a failure, information after a
    /// success); empty for none.
    std::string messageKey;
    /// English, for zadari-cli and logs; never holds the account.
    std::string detail;
};

class ISettingsCarrier {
public:
    virtual ~ISettingsCarrier() = default;
    /// Sends `edited` (the settings the device should take) to the device `listed` (as it is
    /// listed now) with the entered account. True when the device or library accepted them.
    virtual bool SendSettings(const TCredentials& account, const TDevInfo& listed,
                              const TDevInfo& edited) = 0;
    /// How the result line names the carrier ("the family-9 client").
    virtual const char* CarrierName() const = 0;

    /// Whether a listed record holds only what discovery said, so that the device's current
    /// network settings are read from it (with the account) before they are changed.
    virtual bool ReadsSettings() const { return false; }
    /// Reads the device's current settings into `current`, a copy of `listed`: name, httpPort,
    /// ipMode, ip, mask, gateway, the name servers and version. False when they could not be read.
    virtual bool ReadSettings(const TCredentials& /*account*/, const TDevInfo& /*listed*/,
                              TDevInfo& /*current*/) {
        return false;
    }
    /// What the last ReadSettings or SendSettings had to say; empty for carriers that say
    /// nothing more.
    virtual TCarrierNote LastNote() const { return {}; }
};

} // namespace zadari
