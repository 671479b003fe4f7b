#pragma once
// The sockets of the discovery engine: five UDP endpoints, the multicast receiver and the
// multicast sender. The engine talks to them through TSearchEndpoints, so tests give it
// recording senders and feed datagrams in by hand; TSocketEndpoints is the real set.
#include "net/NetInterfaces.h"
#include "net/UdpEndpoint.h"
#include "protocols/DatagramSender.h"
#include "protocols/FamilyTable.h"

#include <QHostAddress>
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QUdpSocket;

namespace zadari {

/// A received datagram with what answers it.
struct TIncomingDatagram {
    TByteView bytes;
    std::string senderIp; ///< dotted IPv4 text; empty when the sender was not IPv4
    std::uint16_t senderPort = 0;
    /// The receiving endpoint, pinned to the interface the datagram came in on.
    TDatagramSender* answerVia = nullptr;
    /// The kernel's index of the interface the datagram came in on; 0 when not known.
    int interfaceIndex = 0;
};

class TSearchEndpoints {
public:
    static constexpr int kUdpCount = 5;
    using TReceiveHandler = std::function<void(const TIncomingDatagram&)>;

    virtual ~TSearchEndpoints() = default;
    /// Binds the five UDP endpoints (results not checked: an endpoint that could not be bound
    /// binds on its first send) and then opens the multicast pair. False when the multicast pair
    /// could not be set up.
    virtual bool Open(TReceiveHandler handler) = 0;
    /// The UDP endpoints one by one, then the multicast receiver and sender.
    virtual void Close() = 0;
    /// IdUDPServer1 .. IdUDPServer5 for n = 1 .. 5.
    virtual TDatagramSender& Udp(int n) = 0;
    virtual TDatagramSender& MulticastSender() = 0;
    /// The endpoint a family's queries and commands leave through.
    TDatagramSender& Sender(TEndpointRole role);
    /// Called once per search cycle: picks up interfaces that appeared since the last one.
    virtual void RefreshInterfaces() {}

    virtual std::uint64_t Received() const { return 0; }
    virtual std::uint64_t DroppedTooLong() const { return 0; }
};

/// The real sockets, with every address and port injectable.
class TSocketEndpoints : public QObject, public TSearchEndpoints {
    Q_OBJECT
public:
    struct TSetup {
        std::array<int, kUdpCount> firstPorts{9999, 10000, 10002, 7999, 6800};
        /// Binds one endpoint from a first port (TTools_Net::BindUdpServer).
        std::function<bool(QUdpSocket& socket, int firstPort)> bindUdpServer;
        qint64 udpReceiveBuffer = 1024;
        QHostAddress fallbackAddress = QHostAddress(QHostAddress::AnyIPv4);
        quint16 fallbackPort = 3565;

        QHostAddress multicastGroup = QHostAddress(QStringLiteral("239.255.255.250"));
        QHostAddress multicastBindAddress = QHostAddress(QHostAddress::AnyIPv4);
        quint16 multicastPort = 8002;
        qint64 multicastReceiveBuffer = 8192;
        int multicastTtl = 2;
        bool multicastLoopback = true;
        /// The sender's own local port (0: any free port).
        quint16 multicastSenderPort = 0;

        TInterfaceSource broadcastInterfaces = &BroadcastInterfaces;
        TInterfaceSource multicastSendInterfaces = &MulticastSendInterfaces;
        TInterfaceSource multicastJoinInterfaces = &MulticastJoinInterfaces;
        /// Empty: every interface the sources above give. Otherwise the name of the one
        /// interface used: broadcasts and multicasts leave only through it, the group is joined
        /// only there, and datagrams that arrive on another interface are dropped unanswered.
        QString onlyInterface;
    };

    /// The program's own set: the five first ports, BindUdpServer, the HDS group.
    static TSetup DefaultSetup();

    explicit TSocketEndpoints(TSetup setup, QObject* parent = nullptr);
    ~TSocketEndpoints() override;

    bool Open(TReceiveHandler handler) override;
    void Close() override;
    TDatagramSender& Udp(int n) override;
    TDatagramSender& MulticastSender() override;
    void RefreshInterfaces() override;
    std::uint64_t Received() const override;
    std::uint64_t DroppedTooLong() const override;

    TUdpEndpoint& UdpEndpoint(int n);
    TUdpEndpoint& MulticastReceiver() { return *multicastReceiver_; }
    TUdpEndpoint& MulticastSenderEndpoint() { return *multicastSender_; }

private:
    void Deliver(TUdpEndpoint& endpoint, const TReceivedDatagram& datagram);
    /// Looks up the index of setup_.onlyInterface again (it changes when the interface is made
    /// anew).
    void ResolveOnlyInterface();

    TSetup setup_;
    int onlyIndex_ = 0;
    std::array<std::unique_ptr<TUdpEndpoint>, kUdpCount> udp_;
    std::unique_ptr<TUdpEndpoint> multicastReceiver_;
    std::unique_ptr<TUdpEndpoint> multicastSender_;
    TReceiveHandler handler_;
    bool multicastOpen_ = false;
};

} // namespace zadari
