#pragma once
// One UDP socket of the discovery engine, on the main thread's event loop. It sends unicast,
// broadcast (once per broadcast-capable interface) and multicast (once per multicast-capable
// interface), and hands every received datagram that fits its receive buffer to its handler.
#include "net/NetInterfaces.h"
#include "protocols/DatagramSender.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

namespace zadari {

/// A datagram as the receive path sees it. `bytes` lives only during the handler call.
struct TReceivedDatagram {
    TByteView bytes;
    QHostAddress sender;
    quint16 senderPort = 0;
    int interfaceIndex = 0; ///< the interface it arrived on; 0 when the platform did not say
};

class TUdpEndpoint : public QObject, public TDatagramSender {
    Q_OBJECT
public:
    struct TSetup {
        QString name;
        /// Datagrams longer than this are dropped unread; 0 means the endpoint never reads.
        qint64 receiveBuffer = 1024;
        /// The socket's own queue in the kernel (SO_RCVBUF; the kernel caps it), so that a
        /// burst of answers from many cameras at once is not dropped before it is read.
        int kernelReceiveBuffer = 1 << 20;
        /// Where an endpoint that was never bound binds on its first send.
        QHostAddress fallbackAddress = QHostAddress(QHostAddress::AnyIPv4);
        quint16 fallbackPort = 3565;
        TInterfaceSource broadcastInterfaces = &BroadcastInterfaces;
        TInterfaceSource multicastInterfaces = &MulticastSendInterfaces;
    };
    using THandler = std::function<void(TUdpEndpoint& endpoint, const TReceivedDatagram& datagram)>;

    explicit TUdpEndpoint(TSetup setup, QObject* parent = nullptr);
    ~TUdpEndpoint() override;

    const QString& Name() const { return setup_.name; }
    /// The socket itself, for binding (TTools_Net::BindUdpServer) and socket options.
    QUdpSocket& Socket() { return socket_; }
    bool IsBound() const;
    quint16 LocalPort() const;
    void SetHandler(THandler handler) { handler_ = std::move(handler); }
    /// Applies the socket options of the set-up; called after every bind.
    void Configure();
    /// Closes the socket; a later send binds it again at the fallback address.
    void Deactivate();

    /// Multicast options of a sender: time-to-live and whether its own messages loop back.
    bool SetMulticastOptions(int ttl, bool loopback);
    /// Joins `group` on every interface of `interfaces` not joined yet; forgets interfaces that
    /// are gone so that they are joined again when they come back. Returns how many are joined.
    int JoinGroup(const QHostAddress& group, const std::vector<TSendInterface>& interfaces);
    int JoinedInterfaces() const { return static_cast<int>(joined_.size()); }

    /// "255.255.255.255" broadcasts on every interface, a multicast group goes out on every
    /// multicast interface, anything else is unicast. True when at least one copy went out.
    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override;
    /// The broadcast on one interface only (0: on every broadcast interface). An interface that
    /// is not among the broadcast interfaces any more falls back to all of them.
    bool SendBroadcast(TByteView bytes, quint16 port, int interfaceIndex = 0);
    bool SendMulticast(TByteView bytes, const QHostAddress& group, quint16 port,
                       int interfaceIndex = 0);
    /// Unicast; with an interface index the datagram leaves through that interface even when no
    /// route leads to the address (a camera outside the adapter's subnet is still on the link).
    bool SendUnicast(TByteView bytes, const QHostAddress& address, quint16 port,
                     int interfaceIndex = 0);

    std::uint64_t Received() const { return received_; }
    std::uint64_t DroppedTooLong() const { return droppedTooLong_; }
    std::uint64_t SendFailures() const { return sendFailures_; }

private:
    bool EnsureBound();
    bool WriteOne(const QByteArray& data, const QHostAddress& address, quint16 port,
                  int interfaceIndex);
    bool SendOnInterfaces(TByteView bytes, const std::vector<TSendInterface>& interfaces,
                          const QHostAddress* fixedDestination, quint16 port, int onlyIndex);
    void Drain();

    TSetup setup_;
    QUdpSocket socket_;
    THandler handler_;
    TInterfaceCache broadcastCache_;
    TInterfaceCache multicastCache_;
    std::set<int> joined_;
    std::uint64_t received_ = 0;
    std::uint64_t droppedTooLong_ = 0;
    std::uint64_t sendFailures_ = 0;
};

/// What answers a datagram: the endpoint that received it, pinned to the interface it came in
/// on, so the answer reaches the asker on its own link.
class TAnswerSender : public TDatagramSender {
public:
    TAnswerSender(TUdpEndpoint& endpoint, int interfaceIndex)
        : endpoint_(endpoint), interfaceIndex_(interfaceIndex) {}
    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override;
    void Pause(int milliseconds) override { endpoint_.Pause(milliseconds); }

private:
    TUdpEndpoint& endpoint_;
    int interfaceIndex_;
};

} // namespace zadari
