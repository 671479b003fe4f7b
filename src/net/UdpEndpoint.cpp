#include "net/UdpEndpoint.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace zadari {
namespace {

// Datagrams handled per wake-up before the event loop gets its turn again, so that a flood on
// one socket cannot hold back the timer or the other sockets. What is left makes the socket
// readable again at once; reading it from anywhere but readyRead would leave Qt's notifier off.
constexpr int kDrainBatch = 64;

QByteArray ToByteArray(TByteView bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

enum class TAddressKind { Invalid, Broadcast, Multicast, Unicast };

TAddressKind KindOf(const QHostAddress& address) {
    if (address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return TAddressKind::Invalid;
    if (address.isBroadcast())
        return TAddressKind::Broadcast;
    if (address.isMulticast())
        return TAddressKind::Multicast;
    return TAddressKind::Unicast;
}

QHostAddress ParseAddress(const std::string& text) {
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))))
        return {};
    return address;
}

} // namespace

TUdpEndpoint::TUdpEndpoint(TSetup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), broadcastCache_(setup_.broadcastInterfaces),
      multicastCache_(setup_.multicastInterfaces) {
    socket_.setObjectName(setup_.name);
    if (setup_.receiveBuffer > 0)
        connect(&socket_, &QUdpSocket::readyRead, this, &TUdpEndpoint::Drain);
}

TUdpEndpoint::~TUdpEndpoint() = default;

bool TUdpEndpoint::IsBound() const {
    return socket_.state() == QAbstractSocket::BoundState;
}

quint16 TUdpEndpoint::LocalPort() const {
    return IsBound() ? socket_.localPort() : 0;
}

void TUdpEndpoint::Deactivate() {
    socket_.close();
    joined_.clear();
}

bool TUdpEndpoint::EnsureBound() {
    if (IsBound())
        return true;
    if (!socket_.bind(setup_.fallbackAddress, setup_.fallbackPort))
        return false;
    Configure();
    return true;
}

void TUdpEndpoint::Configure() {
    if (IsBound() && setup_.receiveBuffer > 0 && setup_.kernelReceiveBuffer > 0)
        socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                setup_.kernelReceiveBuffer);
}

bool TUdpEndpoint::SetMulticastOptions(int ttl, bool loopback) {
    if (!EnsureBound())
        return false;
    socket_.setSocketOption(QAbstractSocket::MulticastTtlOption, ttl);
    socket_.setSocketOption(QAbstractSocket::MulticastLoopbackOption, loopback ? 1 : 0);
    return socket_.socketOption(QAbstractSocket::MulticastTtlOption).toInt() == ttl;
}

int TUdpEndpoint::JoinGroup(const QHostAddress& group,
                            const std::vector<TSendInterface>& interfaces) {
    if (!IsBound() || KindOf(group) != TAddressKind::Multicast)
        return 0;
    for (auto it = joined_.begin(); it != joined_.end();) {
        const bool present = std::any_of(interfaces.begin(), interfaces.end(),
                                         [&](const TSendInterface& i) { return i.index == *it; });
        it = present ? std::next(it) : joined_.erase(it);
    }
    for (const TSendInterface& entry : interfaces) {
        if (joined_.count(entry.index))
            continue;
        const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(entry.index);
        if (iface.isValid() && socket_.joinMulticastGroup(group, iface))
            joined_.insert(entry.index);
    }
    return static_cast<int>(joined_.size());
}

bool TUdpEndpoint::WriteOne(const QByteArray& data, const QHostAddress& address, quint16 port,
                            int interfaceIndex) {
    QNetworkDatagram datagram(data, address, port);
    if (interfaceIndex > 0)
        datagram.setInterfaceIndex(static_cast<uint>(interfaceIndex));
    const bool sent = socket_.writeDatagram(datagram) == data.size();
    if (!sent)
        ++sendFailures_;
    return sent;
}

bool TUdpEndpoint::SendOnInterfaces(TByteView bytes, const std::vector<TSendInterface>& interfaces,
                                    const QHostAddress* fixedDestination, quint16 port,
                                    int onlyIndex) {
    if (!EnsureBound())
        return false;
    const bool onlyKnown =
        onlyIndex > 0 && std::any_of(interfaces.begin(), interfaces.end(),
                                     [&](const TSendInterface& i) { return i.index == onlyIndex; });
    const QByteArray data = ToByteArray(bytes);
    bool any = false;
    for (const TSendInterface& entry : interfaces) {
        if (onlyKnown && entry.index != onlyIndex)
            continue;
        const QHostAddress& destination = fixedDestination ? *fixedDestination : entry.destination;
        any = WriteOne(data, destination, port, entry.index) || any;
    }
    return any;
}

bool TUdpEndpoint::SendBroadcast(TByteView bytes, quint16 port, int interfaceIndex) {
    return SendOnInterfaces(bytes, broadcastCache_.Get(), nullptr, port, interfaceIndex);
}

bool TUdpEndpoint::SendMulticast(TByteView bytes, const QHostAddress& group, quint16 port,
                                 int interfaceIndex) {
    return SendOnInterfaces(bytes, multicastCache_.Get(), &group, port, interfaceIndex);
}

bool TUdpEndpoint::SendUnicast(TByteView bytes, const QHostAddress& address, quint16 port,
                               int interfaceIndex) {
    if (!EnsureBound())
        return false;
    return WriteOne(ToByteArray(bytes), address, port, interfaceIndex);
}

bool TUdpEndpoint::SendTo(TByteView bytes, const std::string& address, std::uint16_t port) {
    const QHostAddress destination = ParseAddress(address);
    switch (KindOf(destination)) {
    case TAddressKind::Broadcast:
        return SendBroadcast(bytes, port);
    case TAddressKind::Multicast:
        return SendMulticast(bytes, destination, port);
    case TAddressKind::Unicast:
        return SendUnicast(bytes, destination, port);
    case TAddressKind::Invalid:
        break;
    }
    ++sendFailures_;
    return false;
}

void TUdpEndpoint::Drain() {
    // One byte more than the buffer tells a datagram that did not fit from one that filled it.
    const qint64 readSize = setup_.receiveBuffer + 1;
    for (int n = 0; n < kDrainBatch && socket_.hasPendingDatagrams(); ++n) {
        const QNetworkDatagram datagram = socket_.receiveDatagram(readSize);
        ++received_;
        const QByteArray& data = datagram.data();
        if (data.size() > setup_.receiveBuffer) {
            ++droppedTooLong_;
            continue;
        }
        if (!handler_)
            continue;
        TReceivedDatagram received;
        received.bytes = TByteView(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                   static_cast<std::size_t>(data.size()));
        received.sender = datagram.senderAddress();
        received.senderPort = static_cast<quint16>(std::max(0, datagram.senderPort()));
        received.interfaceIndex = static_cast<int>(datagram.interfaceIndex());
        handler_(*this, received);
    }
}

bool TAnswerSender::SendTo(TByteView bytes, const std::string& address, std::uint16_t port) {
    const QHostAddress destination = ParseAddress(address);
    switch (KindOf(destination)) {
    case TAddressKind::Broadcast:
        return endpoint_.SendBroadcast(bytes, port, interfaceIndex_);
    case TAddressKind::Multicast:
        return endpoint_.SendMulticast(bytes, destination, port, interfaceIndex_);
    case TAddressKind::Unicast:
        return endpoint_.SendUnicast(bytes, destination, port, interfaceIndex_);
    case TAddressKind::Invalid:
        break;
    }
    return false;
}

} // namespace zadari
