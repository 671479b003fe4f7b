#include "app/StandardsNet.h"

#include "access/CurlSession.h"
#include "access/HttpFetch.h"
#include "net/NeighbourTable.h"
#include "net/SharedPort.h"
#include "net/UdpEndpoint.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QThreadPool>

#include <memory>

namespace zadari {

namespace {

// Big enough for a burst of a thousand ProbeMatches (about 2 MB, more in the kernel's
// accounting) while the main thread is busy.
constexpr int kKernelReceiveBuffer = 8 << 20;
// Descriptions fetched at once.
constexpr int kFetchThreads = 4;

class TSystemSocket : public IStandardsSocket {
public:
    TSystemSocket(const TStandardsSocketSetup& setup, IStandardsNet::THandler handler,
                  const QString& onlyInterface)
        : group_(QString::fromStdString(setup.group)),
          joinInterfaces_(onlyInterface.isEmpty()
                              ? TInterfaceSource(&MulticastJoinInterfaces)
                              : OnlyInterface(&MulticastJoinInterfaces, onlyInterface)) {
        TUdpEndpoint::TSetup endpointSetup;
        endpointSetup.name = QString::fromStdString(setup.name);
        endpointSetup.receiveBuffer = static_cast<qint64>(setup.maxDatagram);
        endpointSetup.kernelReceiveBuffer = 0; // forced below, past the system's default limit
        if (!onlyInterface.isEmpty())
            endpointSetup.multicastInterfaces =
                OnlyInterface(&MulticastSendInterfaces, onlyInterface);
        endpoint_ = std::make_unique<TUdpEndpoint>(endpointSetup);
        const int onlyIndex =
            onlyInterface.isEmpty() ? 0 : QNetworkInterface::interfaceIndexFromName(onlyInterface);
        endpoint_->SetHandler([handler = std::move(handler), limited = !onlyInterface.isEmpty(),
                               onlyIndex](TUdpEndpoint&, const TReceivedDatagram& datagram) {
            // Limited to one adapter, what comes in on another is not ours to see.
            if (limited && datagram.interfaceIndex > 0 && datagram.interfaceIndex != onlyIndex)
                return;
            bool ok = false;
            const quint32 v4 = datagram.sender.toIPv4Address(&ok);
            if (!ok)
                return;
            TStandardsDatagram d;
            d.bytes = datagram.bytes;
            d.senderIp = QHostAddress(v4).toString().toStdString();
            d.senderPort = datagram.senderPort;
            d.interfaceIndex = datagram.interfaceIndex;
            handler(d);
        });
        ttl_ = setup.ttl;
        port_ = setup.port;
    }

    bool Open() {
        if (!BindSharedUdp(endpoint_->Socket(), port_))
            return false;
        ForceReceiveBuffer(endpoint_->Socket(), kKernelReceiveBuffer);
        endpoint_->SetMulticastOptions(ttl_, false);
        Refresh();
        return true;
    }

    bool SendToGroup(TByteView bytes, const std::string& group, std::uint16_t port) override {
        return endpoint_->SendMulticast(bytes, QHostAddress(QString::fromStdString(group)), port);
    }

    void Refresh() override {
        if (!group_.isNull())
            endpoint_->JoinGroup(group_, joinInterfaces_());
    }

private:
    std::unique_ptr<TUdpEndpoint> endpoint_;
    QHostAddress group_;
    TInterfaceSource joinInterfaces_;
    int ttl_ = 1;
    std::uint16_t port_ = 0;
};

class TSystemStandardsNet : public IStandardsNet {
public:
    explicit TSystemStandardsNet(QString onlyInterface) : onlyInterface_(std::move(onlyInterface)) {
        // libcurl (and the TLS library under it) is set up on the main thread, not on the first
        // fetch's worker, whose thread-local set-up would outlive the thread.
        EnsureCurlGlobalInit();
        pool_.setMaxThreadCount(kFetchThreads);
    }

    ~TSystemStandardsNet() override {
        CancelFetches();
        pool_.clear();
        pool_.waitForDone();
    }

    std::unique_ptr<IStandardsSocket> Open(const TStandardsSocketSetup& setup,
                                           THandler handler) override {
        auto socket = std::make_unique<TSystemSocket>(setup, std::move(handler), onlyInterface_);
        if (!socket->Open())
            return nullptr;
        return socket;
    }

    std::string NeighbourMac(const std::string& ip) override { return neighbours_.MacOf(ip); }

    void Fetch(const std::string& url, std::size_t maxBytes, TFetched done) override {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr)
            return;
        pool_.start([url, maxBytes, app, live = live_, done = std::move(done)]() mutable {
            TFetchLimits limits;
            limits.maxBytes = maxBytes;
            std::string body;
            const bool ok = FetchHttpDocument(url, limits, body);
            // Handed to the main thread, where it is dropped when the fetch was cancelled
            // meanwhile (the token is only read and written there).
            QMetaObject::invokeMethod(
                app,
                [ok, body = std::move(body), live = std::move(live), done = std::move(done)] {
                    if (*live)
                        done(ok, body);
                },
                Qt::QueuedConnection);
        });
    }

    void CancelFetches() override {
        pool_.clear();
        *live_ = false;
        live_ = std::make_shared<bool>(true);
    }

private:
    QString onlyInterface_;
    TNeighbourTable neighbours_;
    QThreadPool pool_;
    /// True until the fetches started under it are cancelled.
    std::shared_ptr<bool> live_ = std::make_shared<bool>(true);
};

} // namespace

std::unique_ptr<IStandardsNet> MakeSystemStandardsNet(const QString& onlyInterface) {
    return std::make_unique<TSystemStandardsNet>(onlyInterface);
}

} // namespace zadari
