#include "app/SearchEngine.h"

#include "app/DeviceList.h"
#include "protocols/CommaText.h"
#include "protocols/Dispatch.h"

#include <QUuid>

#include <algorithm>
#include <exception>
#include <utility>

namespace zadari {

namespace {

/// One broadcast family's query, sent through its endpoint on the cycles it goes out on.
class TFamilyQuery : public IDiscoveryProvider {
public:
    TFamilyQuery(const TFamilyRow& family, TSearchEndpoints& endpoints,
                 const TSearchTargets& targets, const std::string& clientId)
        : family_(family), endpoints_(endpoints), targets_(targets), clientId_(clientId) {}
    const char* Name() const override { return family_.name.data(); }
    bool Start(IDeviceSink&) override { return true; }
    void Stop() override {}
    bool Search(const TSearchCycle& cycle) override {
        if (family_.everyThirdTick && cycle.tick % 3 != 0)
            return true;
        return family_.sendQuery(
            TQueryRequest{endpoints_.Sender(family_.endpoint), targets_, clientId_});
    }

private:
    const TFamilyRow& family_;
    TSearchEndpoints& endpoints_;
    const TSearchTargets& targets_;
    const std::string& clientId_;
};

} // namespace

std::string NewClientId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

TSearchEngine::TSearchEngine(TDeviceList& list, TSearchEndpoints& endpoints, TSetup setup,
                             QObject* parent)
    : QObject(parent), list_(list), endpoints_(endpoints), setup_(std::move(setup)) {
    clientId_ = setup_.clientId.empty() ? NewClientId() : setup_.clientId;
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(setup_.tickIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TSearchEngine::Tick);
    for (const TFamilyRow& family : Families()) {
        if (family.sendQuery == nullptr)
            continue;
        ownProviders_.push_back(
            std::make_unique<TFamilyQuery>(family, endpoints_, setup_.targets, clientId_));
        AddProvider(*ownProviders_.back(), family.searchStep);
    }
}

void TSearchEngine::AddProvider(IDiscoveryProvider& provider, int step) {
    // After every step of the same number already there, so equal steps keep their order.
    const auto at = std::upper_bound(steps_.begin(), steps_.end(), step,
                                     [](int s, const TStep& entry) { return s < entry.step; });
    steps_.insert(at, TStep{step, &provider});
    if (running_)
        provider.Start(*this);
}

TSearchEngine::~TSearchEngine() {
    timer_.stop();
    // No provider may deliver to an engine that has gone.
    if (running_) {
        for (const TStep& entry : steps_)
            Guarded([&] {
                entry.provider->Stop();
                return true;
            });
    }
}

bool TSearchEngine::Start() {
    tickCounter_ = 0;
    const bool multicastOpen =
        endpoints_.Open([this](const TIncomingDatagram& datagram) { HandleDatagram(datagram); });
    running_ = true;
    for (const TStep& entry : steps_) {
        Guarded([&] { return entry.provider->Start(*this); });
    }
    StartTimer();
    return multicastOpen;
}

void TSearchEngine::Stop() {
    timer_.stop();
    endpoints_.Close();
    for (const TStep& entry : steps_) {
        Guarded([&] {
            entry.provider->Stop();
            return true;
        });
    }
    list_.ClearDeviceList();
    running_ = false;
}

void TSearchEngine::StopTimer() {
    timer_.stop();
}

void TSearchEngine::StartTimer() {
    // The lateness of the first tick after a pause is not the timer's.
    sinceLastTick_.invalidate();
    timer_.start();
}

void TSearchEngine::RunFirstCycle() {
    RunSearchCycle(0, false);
}

void TSearchEngine::Find() {
    list_.ClearDeviceList();
    RunSearchCycle(0, true);
}

void TSearchEngine::Tick() {
    if (sinceLastTick_.isValid()) {
        const qint64 late = sinceLastTick_.elapsed() - timer_.interval();
        if (late > stats_.maxTickLatenessMs)
            stats_.maxTickLatenessMs = late;
    }
    sinceLastTick_.start();
    ++stats_.ticks;
    const int tick = tickCounter_;
    RunSearchCycle(tick, false);
    list_.AgePass();
    ++tickCounter_;
    Q_EMIT Ticked(tick);
}

// One failed send or error abandons the rest of its own step only; the cycle goes on.
template <typename Step> void TSearchEngine::Guarded(Step&& step) {
    try {
        if (!step())
            ++stats_.stepFailures;
    } catch (const std::exception&) {
        ++stats_.stepFailures;
    }
}

bool TSearchEngine::RunSearchCycle(int tick, bool withSdk) {
    if (!sinceFirstCycle_.isValid())
        sinceFirstCycle_.start();
    ++stats_.cycles;
    endpoints_.RefreshInterfaces();
    // Each step guarded on its own: one failed send or error abandons the rest of its step only.
    const TSearchCycle cycle{tick, withSdk};
    for (const TStep& entry : steps_)
        Guarded([&] { return entry.provider->Search(cycle); });
    return true;
}

void TSearchEngine::HandleDatagram(const TIncomingDatagram& datagram) {
    ++stats_.handled;
    const std::string_view text = ToTextView(datagram.bytes);
    try {
        if (IsIpEchoRequest(text)) {
            // Answered from the receiving endpoint; nothing else happens for this datagram.
            if (datagram.answerVia && !datagram.senderIp.empty()) {
                const std::string answer = IpEchoAnswer(datagram.senderIp);
                datagram.answerVia->SendTo(ToByteView(answer), datagram.senderIp,
                                           datagram.senderPort);
                ++stats_.ipEchoes;
            }
            return;
        }
        TDevInfo record;
        record.family = kFamilyNone;
        TDispatchContext context;
        context.sender6801 = datagram.answerVia;
        context.findRowByMac = [this](const std::string& mac) { return list_.FindRowByMac(mac); };
        if (!DispatchReply(text, record, context))
            return;
        record.seenOnInterface = datagram.interfaceIndex;
        ++stats_.matchedPerFamily[record.family];
        ++stats_.merged;
        NoteMerge(list_.MergeDevice(record));
    } catch (const std::exception&) {
        // A datagram that cannot be handled changes nothing; the endpoint keeps receiving.
    }
}

void TSearchEngine::MergeFound(const TDevInfo& record) {
    ++stats_.merged;
    NoteMerge(list_.MergeDevice(record));
}

void TSearchEngine::DeviceGone(const std::string& mac) {
    const int row = list_.RowOfMac(mac);
    if (row >= 0)
        list_.DeleteRow(row);
}

void TSearchEngine::StandardGone(const std::string& key, std::int32_t family) {
    list_.RemoveStandard(key, family);
}

void TSearchEngine::NoteMerge(bool added) {
    if (!added)
        return;
    ++stats_.rowsAdded;
    stats_.lastRowAddedMs = sinceFirstCycle_.isValid() ? sinceFirstCycle_.elapsed() : 0;
    if (list_.RowCount() > 0)
        Q_EMIT RowAdded();
}

int TSearchEngine::Rows() const {
    return list_.RowCount();
}

TSearchStats TSearchEngine::Stats() const {
    TSearchStats stats = stats_;
    stats.received = endpoints_.Received();
    stats.droppedTooLong = endpoints_.DroppedTooLong();
    return stats;
}

} // namespace zadari
