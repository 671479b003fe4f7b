#pragma once
// The discovery engine: the search cycle that sends every family's query, the receive path that
// answers the IP echo, dispatches replies and merges devices into the list, and the one-second
// timer with the list's age pass. It holds no widget; the window and zadari-cli drive it. All of
// it runs on the main thread's event loop.
#include "app/DiscoveryProvider.h"
#include "net/SearchEndpoints.h"
#include "protocols/DevInfo.h"
#include "protocols/FamilyTable.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zadari {

class TDeviceList;

/// Counters for zadari-cli --stats.
struct TSearchStats {
    std::uint64_t received = 0;       ///< datagrams read from the sockets (dropped ones too)
    std::uint64_t droppedTooLong = 0; ///< longer than their endpoint's receive buffer
    std::uint64_t handled = 0;        ///< datagrams that reached the receive path
    std::uint64_t ipEchoes = 0;       ///< "IPREPLY" datagrams answered
    std::map<std::int32_t, std::uint64_t> matchedPerFamily; ///< accepted replies by family code
    std::uint64_t merged = 0;    ///< records handed to MergeDevice (all discovery paths)
    std::uint64_t rowsAdded = 0; ///< merges that added a row
    std::uint64_t cycles = 0;
    std::uint64_t ticks = 0;
    std::uint64_t stepFailures = 0; ///< cycle steps abandoned by a failed send or an error
    qint64 maxTickLatenessMs = 0;   ///< largest delay of a timer tick past its interval
    qint64 lastRowAddedMs = -1;     ///< when the latest row was added, from the first cycle
};

struct TSearchEngineSetup {
    TSearchTargets targets;
    /// Made when empty: a random GUID, upper-case 8-4-4-4-12 without braces.
    std::string clientId;
    int tickIntervalMs = 1000;
};

class TSearchEngine : public QObject, public IDeviceSink {
    Q_OBJECT
public:
    using TMergeCallback = std::function<void(const TDevInfo& record)>;

    using TSetup = TSearchEngineSetup;

    /// The engine uses `list` and `endpoints`; both must outlive it.
    TSearchEngine(TDeviceList& list, TSearchEndpoints& endpoints,
                  TSearchEngineSetup setup = TSearchEngineSetup(), QObject* parent = nullptr);
    ~TSearchEngine() override;

    /// Adds a way of finding devices. Each cycle runs the broadcast families' queries and the
    /// providers by their step, a provider after the queries of the steps before its own; the
    /// provider must outlive the engine's Stop().
    void AddProvider(IDiscoveryProvider& provider, int step);

    // --- life cycle ---
    /// Start-up: tick counter 0, the endpoints bound and the multicast pair opened, the timer
    /// started. False when the multicast pair could not be set up (the HDS family is then not
    /// found; the caller may ask whether to go on).
    bool Start();
    /// Close: the timer stopped, the endpoints closed, the providers stopped, the list cleared.
    void Stop();
    bool IsRunning() const { return running_; }

    /// The window's first show: one cycle with tick 0 without the SDK search.
    void RunFirstCycle();
    /// The Find button: the list cleared, then one cycle with tick 0 and the SDK search. The
    /// tick counter is not reset.
    void Find();
    /// One timer tick: the cycle with the tick counter, the age pass, the counter up by one.
    void Tick();
    /// While the firmware upgrade dialog is open the timer stands still (the counter keeps).
    void StopTimer();
    void StartTimer();
    bool TimerActive() const { return timer_.isActive(); }

    /// Sends the discovery messages of one cycle, each step guarded on its own. Always true.
    bool RunSearchCycle(int tick, bool withSdk);

    /// The receive path for one datagram of any endpoint.
    void HandleDatagram(const TIncomingDatagram& datagram);
    /// The way every provider enters a device.
    void MergeFound(const TDevInfo& record) override;
    /// A device that announced its leaving: its row goes now.
    void DeviceGone(const std::string& mac) override;
    void StandardGone(const std::string& key, std::int32_t family) override;

    const std::string& ClientId() const { return clientId_; }
    int TickCounter() const { return tickCounter_; }
    const TSearchTargets& Targets() const { return setup_.targets; }
    TDeviceList& List() { return list_; }
    /// The endpoints, for the network-setting commands that leave through them.
    TSearchEndpoints& Endpoints() { return endpoints_; }
    /// The counters, with the socket figures and the row count read now.
    TSearchStats Stats() const;
    int Rows() const;

Q_SIGNALS:
    /// A merge added a row and the list is not empty: the window selects the first row when
    /// none is selected.
    void RowAdded();
    /// A timer tick ran (after its age pass).
    void Ticked(int tick);

private:
    struct TStep {
        int step;
        IDiscoveryProvider* provider;
    };
    template <typename Step> void Guarded(Step&& step);
    void NoteMerge(bool added);

    TDeviceList& list_;
    TSearchEndpoints& endpoints_;
    TSetup setup_;
    std::string clientId_;
    int tickCounter_ = 0;
    bool running_ = false;
    QTimer timer_;
    QElapsedTimer sinceLastTick_;
    QElapsedTimer sinceFirstCycle_;
    TSearchStats stats_;
    /// The broadcast families' queries, one provider per family row with a query.
    std::vector<std::unique_ptr<IDiscoveryProvider>> ownProviders_;
    std::vector<TStep> steps_;
};

/// A new ClientId: a random GUID as 36 upper-case characters 8-4-4-4-12, no braces.
std::string NewClientId();

} // namespace zadari
