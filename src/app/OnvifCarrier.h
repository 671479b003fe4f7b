#pragma once
// The ONVIF device management service as the carrier of the settings of devices that only ONVIF
// found: their current settings are read with the account (the listed record holds only what
// WS-Discovery said), and edited ones are applied in a safe order, the address last, with a
// restart when the camera asks for one. Every call blocks for at most the client's timeout.
#include "access/OnvifClient.h"
#include "access/OnvifSettings.h"
#include "app/SettingsCarrier.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zadari {

/// The device service URL to call for a listed record: an XAddr on the address the device
/// answered from, else the first http(s) XAddr moved to that address (a camera that advertises
/// a stale address is reached where it answered); "" when it announced none.
std::string OnvifServiceAddress(const TDevInfo& listed);

class TOnvifCarrier : public ISettingsCarrier {
public:
    /// `transport` carries every call (libcurl in the program, a fake in tests).
    explicit TOnvifCarrier(std::unique_ptr<IOnvifTransport> transport);
    ~TOnvifCarrier() override;

    bool SendSettings(const TCredentials& account, const TDevInfo& listed,
                      const TDevInfo& edited) override;
    const char* CarrierName() const override { return "the ONVIF device service"; }
    bool ReadsSettings() const override { return true; }
    bool ReadSettings(const TCredentials& account, const TDevInfo& listed,
                      TDevInfo& current) override;
    TCarrierNote LastNote() const override { return note_; }

    /// Reads the device's settings as zadari-cli info prints them; `xaddr` receives the service
    /// address that was called. The note says what failed.
    TOnvifResult<TOnvifNetworkSettings> Read(const TCredentials& account, const TDevInfo& listed,
                                             std::string* xaddr = nullptr);

    /// Bounds every call, in milliseconds.
    int timeoutMs = 5000;

private:
    /// The settings of the last read, which the send right after it compares with.
    struct TLastRead {
        std::string mac;
        std::string xaddr;
        TCredentials account;
        std::int64_t clockOffsetMs = 0;
        bool clockKnown = false;
        TOnvifNetworkSettings settings;
    };

    TOnvifClient Client(const std::string& xaddr, const TCredentials& account) const;
    bool Fail(const TOnvifStatus& status);

    std::unique_ptr<IOnvifTransport> transport_;
    TCarrierNote note_;
    std::optional<TLastRead> last_;
};

} // namespace zadari
