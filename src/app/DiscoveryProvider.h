#pragma once
// One way of finding devices. The search engine runs every provider once per search cycle, in a
// fixed order, and each provider hands what it found to the sink on the main thread. A provider
// owns whatever it sends through (sockets of its own, a client, a library) and the parsing of
// what comes back; the list, the merge and the ageing stay with the engine.
#include "protocols/DevInfo.h"

#include <cstdint>
#include <string>

namespace zadari {

/// Where providers deliver: both calls are made on the main thread.
class IDeviceSink {
public:
    virtual ~IDeviceSink() = default;
    /// A device answered: merged into the list (added, refreshed, or its age reset).
    virtual void MergeFound(const TDevInfo& record) = 0;
    /// A device said it is leaving (a WS-Discovery Bye, an SSDP byebye): the row whose `mac`
    /// is `mac` goes at once instead of ageing out.
    virtual void DeviceGone(const std::string& mac) = 0;
    /// A device's service of a standard protocol (the family code of its row: ONVIF, UPnP,
    /// mDNS) said it is leaving: what that protocol said about the device whose mac or hardware
    /// address is `key` goes, and a row that no other protocol or family holds goes with it.
    virtual void StandardGone(const std::string& key, std::int32_t family) = 0;
};

/// What one cycle is: the tick counter (some queries go out on every third tick only) and
/// whether it is the Find button's cycle (the vendor library searches only then).
struct TSearchCycle {
    int tick = 0;
    bool find = false;
};

class IDiscoveryProvider {
public:
    virtual ~IDiscoveryProvider() = default;
    /// A short name for counters and logs ("broadcast", "family9", "sdk", "wsd", ...).
    virtual const char* Name() const = 0;
    /// Opens what the provider listens on; from now on it may call the sink at any time on the
    /// main thread. False when it could not open (the provider then stays silent).
    virtual bool Start(IDeviceSink& sink) = 0;
    /// Closes everything; no call reaches the sink afterwards.
    virtual void Stop() = 0;
    /// Sends the provider's queries of one cycle. False when a send failed (the engine counts
    /// it and goes on with the next provider).
    virtual bool Search(const TSearchCycle& cycle) = 0;
};

} // namespace zadari
