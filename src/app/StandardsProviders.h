#pragma once
// The standard discovery protocols as discovery providers: ONVIF WS-Discovery, SSDP/UPnP and
// mDNS/DNS-SD. Each sends its queries once per up IPv4 interface from a socket of its own (on the
// cycles it searches on; the first and the Find button's once more shortly after, so that one
// lost datagram loses no device), reads the answers and announcements, and enters one record per
// device: keyed by the device's MAC (from its own data, else from the neighbour table), else by its
// UUID, USN or host name.
#include "app/DiscoveryProvider.h"
#include "app/StandardsNet.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zadari {

/// "AA:BB:CC:DD:EE:FF" of 12 hex digits.
std::string FormatMac(std::string_view hex12);
/// "uuid:" and the UUID in lower case, from "urn:uuid:...", "uuid:..." or a bare UUID; the
/// same device's ONVIF endpoint and UPnP UDN often carry the same one.
std::string UuidKey(std::string_view text);
/// The port of an http URL whose host is `host` (80 when it names none); 0 when it is not one.
std::uint16_t HttpPortOn(std::string_view url, std::string_view host);

/// How often the providers search: on the Find cycle and on every `everyTicks`-th tick; the
/// first cycle's and the Find cycle's queries again `repeatMs` later.
struct TStandardsPacing {
    int everyTicks = 3;
    int repeatMs = 200;
};

class TStandardsProvider : public IDiscoveryProvider {
public:
    /// `net` must outlive the provider.
    TStandardsProvider(IStandardsNet& net, TStandardsPacing pacing);
    ~TStandardsProvider() override;
    bool Start(IDeviceSink& sink) override;
    void Stop() override;
    bool Search(const TSearchCycle& cycle) override;

protected:
    /// Opens the sockets; false when the protocol cannot search.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    /// Sends this cycle's queries (and again for the repeat).
    virtual bool SendQueries(bool repeat) = 0;
    /// Between cycles: forget what was not heard of for long.
    virtual void Prune() {}

    IStandardsNet::THandler Handler();
    virtual void Handle(const TStandardsDatagram& datagram) = 0;

    /// The key of a device's row: its MAC (`ownMac`, 12 hex digits from its own data, else the
    /// neighbour table's for `ip`), else `fallback`.
    std::string KeyOf(const std::string& ownMac, const std::string& ip,
                      const std::string& fallback);
    /// Enters a record under `key`; a device whose key changed (its MAC became known) leaves
    /// its old key first.
    void Enter(TDevInfo& record, const std::string& identity, const std::string& key);
    void Leave(const std::string& identity, std::int32_t family, const std::string& fallbackKey);

    IStandardsNet& net_;
    TStandardsPacing pacing_;
    IDeviceSink* sink_ = nullptr;

private:
    /// The key each device (by its identity) was last entered under.
    std::unordered_map<std::string, std::string> keys_;
    /// Parent of the repeat timers; replaced on Stop so that none fires afterwards.
    std::unique_ptr<QObject> timers_;
    /// Stays valid as long as the provider; handlers check it.
    std::shared_ptr<bool> alive_;
};

/// ONVIF WS-Discovery: Probes for dn:NetworkVideoTransmitter and tds:Device to
/// 239.255.255.250:3702 from a port of its own; Hello and Bye heard on the shared port 3702.
/// Only devices of ONVIF types are entered; a Bye removes what the device said.
class TWsdProvider : public TStandardsProvider {
public:
    using TStandardsProvider::TStandardsProvider;
    const char* Name() const override { return "wsd"; }

protected:
    bool Open() override;
    void Close() override;
    bool SendQueries(bool repeat) override;
    void Handle(const TStandardsDatagram& datagram) override;

private:
    std::unique_ptr<IStandardsSocket> probe_;
    std::unique_ptr<IStandardsSocket> listen_;
    std::string probeBytes_[2];
};

/// SSDP/UPnP: an M-SEARCH ssdp:all (MX 1) to 239.255.255.250:1900 from a port of its own;
/// NOTIFY alive and byebye heard on the shared port 1900. Each root device's description is
/// fetched once, and only when the LOCATION names the address that answered.
class TSsdpProvider : public TStandardsProvider {
public:
    using TStandardsProvider::TStandardsProvider;
    const char* Name() const override { return "ssdp"; }

protected:
    bool Open() override;
    void Close() override;
    bool SendQueries(bool repeat) override;
    void Handle(const TStandardsDatagram& datagram) override;
    void Prune() override;

private:
    struct TDevice;
    void Publish(const std::string& location);

    std::unique_ptr<IStandardsSocket> search_;
    std::unique_ptr<IStandardsSocket> listen_;
    std::unordered_map<std::string, std::shared_ptr<TDevice>> devices_; ///< by LOCATION
    std::unordered_map<std::string, std::string> locationOfUuid_;
    std::uint64_t round_ = 0;
};

/// mDNS/DNS-SD: one-shot queries (from a port other than 5353, so that responders answer by
/// unicast) to 224.0.0.251:5353 for the service type enumeration and the camera service types;
/// instances of those types are entered, one row per host.
class TMdnsProvider : public TStandardsProvider {
public:
    using TStandardsProvider::TStandardsProvider;
    const char* Name() const override { return "mdns"; }

protected:
    bool Open() override;
    void Close() override;
    bool SendQueries(bool repeat) override;
    void Handle(const TStandardsDatagram& datagram) override;
    void Prune() override;

private:
    struct THost;
    std::unique_ptr<IStandardsSocket> socket_;
    std::unordered_map<std::string, std::shared_ptr<THost>> hosts_;
    std::uint16_t id_ = 0;
    std::uint64_t round_ = 0;
};

} // namespace zadari
