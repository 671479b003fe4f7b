#pragma once
// Everything a search-and-configure session is made of, built in one place for the window and
// for every zadari-cli command: the device list, the discovery endpoints, the search engine with
// its providers (the broadcast families, the family-9 client, the vendor library) and the apply
// flow with the carriers of the families whose command is not a datagram of ours.
#include "app/ApplyFlow.h"
#include "app/DeviceList.h"
#include "app/SearchEngine.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace zadari {

class IOnvifTransport;
class IStandardsNet;
class IT517Series;
class TFamily9Provider;
class TOnvifCarrier;
class TSdkFamily;

struct TSessionSetup {
    /// The discovery sockets; empty for none (nothing is sent).
    std::function<std::unique_ptr<TSearchEndpoints>()> makeEndpoints;
    TSearchEngineSetup engine;
    /// The family-9 client; empty for none.
    std::function<std::unique_ptr<IT517Series>()> makeFamily9;
    /// Where the vendor library's folder "402" is looked for; empty for no vendor library.
    QString vendorLibraryDir;
    /// The network of the standard discovery protocols (ONVIF, UPnP, mDNS); empty for none.
    std::function<std::unique_ptr<IStandardsNet>()> makeStandardsNet;
    /// What the ONVIF device service's calls go through; empty for none (ONVIF devices are then
    /// listed but not changed).
    std::function<std::unique_ptr<IOnvifTransport>()> makeOnvifTransport;
    /// The one adapter the session sends on (its kernel name); empty for every adapter.
    /// Providers that open sockets of their own send only there too.
    QString onlyInterface;

    /// The program's own parts: real sockets, the family-9 client, the vendor library beside
    /// the program in `programDir`, the standard discovery protocols and the ONVIF client over
    /// libcurl. With `onlyInterface` the
    /// sockets and the family-9 client send through that adapter alone and the vendor library is
    /// left out: it picks its adapters itself.
    static TSessionSetup ForProgram(const QString& programDir,
                                    const QString& onlyInterface = QString());
};

class TSession {
public:
    /// `credentials` answers the apply flow's questions; it must outlive the session.
    TSession(TSessionSetup setup, ICredentialsProvider& credentials);
    /// Stops everything that still runs.
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    /// The endpoints bound, every provider started, the timer running. False when the
    /// multicast pair could not be set up (the HDS family is then not found).
    bool Start();
    /// The timer, the endpoints, every provider, then the list; later calls do nothing.
    void Stop();

    /// A further way of finding devices, searched at `step` of every cycle.
    void AddProvider(std::unique_ptr<IDiscoveryProvider> provider, int step);

    TDeviceList& List() { return list_; }
    TSearchEngine& Engine() { return *engine_; }
    TSearchEndpoints& Endpoints() { return *endpoints_; }
    TApplyFlow& ApplyFlow() { return *applyFlow_; }
    /// Another apply flow with the same carriers, asking `credentials` (which must outlive it);
    /// the session must outlive the flow.
    std::unique_ptr<TApplyFlow> MakeApplyFlow(ICredentialsProvider& credentials);
    /// The family-9 client (firmware uploads of families 3 and 9), or null.
    IT517Series* Family9Client() const { return family9_.get(); }
    /// The ONVIF device service client (settings of devices only ONVIF found), or null.
    TOnvifCarrier* OnvifClient() const { return onvif_.get(); }
    bool VendorLibraryLoaded() const;

private:
    // Declared in the order they may be destroyed in reverse: the engine stops its providers
    // when it goes, so they outlive it, and the apply flow uses the engine and the carriers.
    TSessionSetup setup_;
    TDeviceList list_;
    std::unique_ptr<TSearchEndpoints> endpoints_;
    std::unique_ptr<IT517Series> family9_;
    std::unique_ptr<TFamily9Provider> family9Provider_;
    std::unique_ptr<TSdkFamily> sdk_;
    std::unique_ptr<TOnvifCarrier> onvif_;
    std::unique_ptr<IStandardsNet> standardsNet_;
    std::vector<std::unique_ptr<IDiscoveryProvider>> providers_;
    std::unique_ptr<TSearchEngine> engine_;
    std::unique_ptr<TApplyFlow> applyFlow_;
    bool stopped_ = false;
};

} // namespace zadari
