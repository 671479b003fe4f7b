#pragma once
// The family-9 client as a discovery provider (its own search, step 3 of every cycle) and as the
// carrier of the family's settings exchange.
#include "app/DiscoveryProvider.h"
#include "app/SettingsCarrier.h"

#include <cstdint>
#include <memory>

namespace zadari {

class IT517Series;

class TFamily9Provider : public IDiscoveryProvider, public ISettingsCarrier {
public:
    /// `client` must outlive the provider.
    TFamily9Provider(IT517Series& client, std::uint16_t port);
    ~TFamily9Provider() override;

    const char* Name() const override { return "family9"; }
    bool Start(IDeviceSink& sink) override;
    void Stop() override;
    bool Search(const TSearchCycle& cycle) override;

    bool SendSettings(const TCredentials& account, const TDevInfo& listed,
                      const TDevInfo& edited) override;
    const char* CarrierName() const override { return "the family-9 client"; }

private:
    IT517Series& client_;
    std::uint16_t port_;
    /// Shared with the client's listener, which outlives a cycle: cleared on Stop so a late
    /// reply never reaches a sink that has gone.
    std::shared_ptr<IDeviceSink*> sink_;
};

} // namespace zadari
