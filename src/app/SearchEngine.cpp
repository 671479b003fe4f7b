#include "app/SearchEngine.h"

#include "app/DeviceList.h"
#include "protocols/CommaText.h"
#include "protocols/Ctp.h"
#include "protocols/Dispatch.h"
#include "protocols/Hds.h"
#include "protocols/Kt352.h"
#include "protocols/Moi.h"
#include "protocols/Port6801.h"
#include "protocols/Uicam.h"

#include <QUuid>

#include <exception>
#include <utility>

namespace zadari {

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
}

TSearchEngine::~TSearchEngine() {
    timer_.stop();
}

bool TSearchEngine::Start() {
    tickCounter_ = 0;
    const bool multicastOpen =
        endpoints_.Open([this](const TIncomingDatagram& datagram) { HandleDatagram(datagram); });
    running_ = true;
    StartTimer();
    return multicastOpen;
}

void TSearchEngine::Stop() {
    timer_.stop();
    endpoints_.Close();
    if (sdkShutdown) {
        try {
            sdkShutdown();
        } catch (const std::exception&) {
            ++stats_.stepFailures;
        }
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
    const TSearchTargets& to = setup_.targets;

    // 1. The PELTRA and ZORIX queries on every third tick only.
    if (tick % 3 == 0)
        Guarded([&] { return SendPeltraAndZorixQueries(endpoints_.Udp(1), to.commaTextPort); });
    // 2. The IP echo query, 1 ms, the ZORIXNET query.
    Guarded([&] { return SendIpAndZorixNetQueries(endpoints_.Udp(1), to.commaTextPort); });
    // 3. The family-9 client's own search.
    Guarded([&] {
        if (family9Search)
            family9Search(to.family9Port, [this](const TDevInfo& record) { MergeFound(record); });
        return true;
    });
    // 4 - 8. One query per family, each through its own endpoint.
    Guarded([&] { return SendKt352Query(endpoints_.Udp(1), to.kt352Port); });
    Guarded([&] { return SendMoiQuery(endpoints_.Udp(2), to.moiPort); });
    Guarded([&] { return SendUicamQuery(endpoints_.Udp(3), to.uicamPort); });
    Guarded([&] { return SendCtpSearch(endpoints_.Udp(4), to.ctpPort); });
    Guarded([&] { return SendBin6801Search(endpoints_.Udp(5), to.bin6801Port); });
    // 9. The HDS search to the multicast group.
    Guarded([&] {
        return SendHdsSearch(endpoints_.MulticastSender(), clientId_, to.multicastGroup,
                             to.multicastPort);
    });
    // 10. The vendor SDK search, from Find only.
    if (withSdk) {
        Guarded([&] {
            if (sdkSearch)
                sdkSearch();
            return true;
        });
    }
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
