#pragma once
// The vendor-SDK family: the library's search as a discovery provider (step 10, in the Find
// button's cycle only), its reports brought to the main thread, and the library as the carrier
// of the family's settings.
#include "app/DeviceForwarder.h"
#include "app/DiscoveryProvider.h"
#include "app/SR_Hisi.h"
#include "app/SettingsCarrier.h"

#include <QString>

namespace zadari {

class TSdkFamily : public IDiscoveryProvider, public ISettingsCarrier {
public:
    /// Loads the library from `programDir`/402/ (silently absent without it).
    explicit TSdkFamily(const QString& programDir);
    /// Lets waiting reporters go, then stops the library's search (the library itself stays
    /// loaded until the process ends: its threads may outlive the search).
    ~TSdkFamily() override;
    TSdkFamily(const TSdkFamily&) = delete;
    TSdkFamily& operator=(const TSdkFamily&) = delete;

    bool IsLoaded() const { return finder_.IsLoaded(); }

    const char* Name() const override { return "sdk"; }
    bool Start(IDeviceSink& sink) override;
    /// Reporters blocked on the main thread are let go and later reports dropped, so the
    /// library's stop is never held up by the list.
    void Stop() override;
    bool Search(const TSearchCycle& cycle) override;

    /// `edited` carries the entered account (the family stores it in the record).
    bool SendSettings(const TCredentials& account, const TDevInfo& listed,
                      const TDevInfo& edited) override;
    const char* CarrierName() const override { return "the vendor library"; }

private:
    IDeviceSink* sink_ = nullptr;
    TDeviceForwarder forwarder_; ///< declared before the finder: outlives the finder's stop
    TFind_Hisi finder_;
};

} // namespace zadari
