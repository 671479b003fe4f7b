#include "net/SearchEndpoints.h"

#include "net/Tools_Net.h"

#include <QNetworkInterface>

#include <stdexcept>
#include <utility>

namespace zadari {

TSocketEndpoints::TSetup TSocketEndpoints::DefaultSetup() {
    TSetup setup;
    setup.bindUdpServer = [](QUdpSocket& socket, int firstPort) {
        return TTools_Net::BindUdpServer(socket, firstPort);
    };
    return setup;
}

TSocketEndpoints::TSocketEndpoints(TSetup setup, QObject* parent)
    : QObject(parent), setup_(std::move(setup)) {
    if (!setup_.onlyInterface.isEmpty()) {
        setup_.broadcastInterfaces =
            OnlyInterface(std::move(setup_.broadcastInterfaces), setup_.onlyInterface);
        setup_.multicastSendInterfaces =
            OnlyInterface(std::move(setup_.multicastSendInterfaces), setup_.onlyInterface);
        setup_.multicastJoinInterfaces =
            OnlyInterface(std::move(setup_.multicastJoinInterfaces), setup_.onlyInterface);
    }
    for (int i = 0; i < kUdpCount; ++i) {
        TUdpEndpoint::TSetup endpoint;
        endpoint.name = QStringLiteral("IdUDPServer%1").arg(i + 1);
        endpoint.receiveBuffer = setup_.udpReceiveBuffer;
        endpoint.fallbackAddress = setup_.fallbackAddress;
        endpoint.fallbackPort = setup_.fallbackPort;
        endpoint.broadcastInterfaces = setup_.broadcastInterfaces;
        endpoint.multicastInterfaces = setup_.multicastSendInterfaces;
        udp_[i] = std::make_unique<TUdpEndpoint>(std::move(endpoint), this);
    }

    TUdpEndpoint::TSetup receiver;
    receiver.name = QStringLiteral("IdIPMCastClient");
    receiver.receiveBuffer = setup_.multicastReceiveBuffer;
    receiver.fallbackAddress = setup_.multicastBindAddress;
    receiver.fallbackPort = setup_.multicastPort;
    receiver.broadcastInterfaces = setup_.broadcastInterfaces;
    receiver.multicastInterfaces = setup_.multicastSendInterfaces;
    multicastReceiver_ = std::make_unique<TUdpEndpoint>(std::move(receiver), this);

    TUdpEndpoint::TSetup sender;
    sender.name = QStringLiteral("IdIPMCastServer");
    sender.receiveBuffer = 0; // sends only
    sender.fallbackAddress = setup_.fallbackAddress;
    sender.fallbackPort = setup_.multicastSenderPort;
    sender.broadcastInterfaces = setup_.broadcastInterfaces;
    sender.multicastInterfaces = setup_.multicastSendInterfaces;
    multicastSender_ = std::make_unique<TUdpEndpoint>(std::move(sender), this);

    auto deliver = [this](TUdpEndpoint& endpoint, const TReceivedDatagram& datagram) {
        Deliver(endpoint, datagram);
    };
    for (auto& endpoint : udp_)
        endpoint->SetHandler(deliver);
    multicastReceiver_->SetHandler(deliver);
}

TSocketEndpoints::~TSocketEndpoints() = default;

bool TSocketEndpoints::Open(TReceiveHandler handler) {
    handler_ = std::move(handler);
    ResolveOnlyInterface();
    for (int i = 0; i < kUdpCount; ++i) {
        if (setup_.bindUdpServer && setup_.bindUdpServer(udp_[i]->Socket(), setup_.firstPorts[i]))
            udp_[i]->Configure();
    }

    // Receiver and sender are one step: when the receiver cannot be opened the sender is not.
    multicastOpen_ = false;
    QUdpSocket& receiver = multicastReceiver_->Socket();
    if (!receiver.bind(setup_.multicastBindAddress, setup_.multicastPort,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        return false;
    multicastReceiver_->Configure();
    if (setup_.multicastJoinInterfaces)
        multicastReceiver_->JoinGroup(setup_.multicastGroup, setup_.multicastJoinInterfaces());
    if (!multicastSender_->SetMulticastOptions(setup_.multicastTtl, setup_.multicastLoopback))
        return false;
    multicastOpen_ = true;
    return true;
}

void TSocketEndpoints::Close() {
    for (auto& endpoint : udp_)
        endpoint->Deactivate();
    multicastReceiver_->Deactivate();
    multicastSender_->Deactivate();
    multicastOpen_ = false;
    handler_ = nullptr;
}

TUdpEndpoint& TSocketEndpoints::UdpEndpoint(int n) {
    const int index = (n >= 1 && n <= kUdpCount) ? n - 1 : 0;
    return *udp_[index];
}

TDatagramSender& TSearchEndpoints::Sender(TEndpointRole role) {
    switch (role) {
    case TEndpointRole::kGeneral:
        return Udp(1);
    case TEndpointRole::kMoi:
        return Udp(2);
    case TEndpointRole::kUicam:
        return Udp(3);
    case TEndpointRole::kCtp:
        return Udp(4);
    case TEndpointRole::kBin6801:
        return Udp(5);
    case TEndpointRole::kMulticast:
        return MulticastSender();
    case TEndpointRole::kNone:
        break;
    }
    throw std::invalid_argument("no endpoint for this role");
}

TDatagramSender& TSocketEndpoints::Udp(int n) {
    return UdpEndpoint(n);
}

TDatagramSender& TSocketEndpoints::MulticastSender() {
    return *multicastSender_;
}

void TSocketEndpoints::ResolveOnlyInterface() {
    onlyIndex_ = setup_.onlyInterface.isEmpty()
                     ? 0
                     : QNetworkInterface::interfaceIndexFromName(setup_.onlyInterface);
}

void TSocketEndpoints::RefreshInterfaces() {
    ResolveOnlyInterface();
    if (multicastOpen_ && setup_.multicastJoinInterfaces)
        multicastReceiver_->JoinGroup(setup_.multicastGroup, setup_.multicastJoinInterfaces());
}

std::uint64_t TSocketEndpoints::Received() const {
    std::uint64_t total = multicastReceiver_->Received();
    for (const auto& endpoint : udp_)
        total += endpoint->Received();
    return total;
}

std::uint64_t TSocketEndpoints::DroppedTooLong() const {
    std::uint64_t total = multicastReceiver_->DroppedTooLong();
    for (const auto& endpoint : udp_)
        total += endpoint->DroppedTooLong();
    return total;
}

void TSocketEndpoints::Deliver(TUdpEndpoint& endpoint, const TReceivedDatagram& datagram) {
    if (!handler_)
        return;
    // Limited to one interface, a datagram from another one is not ours to see (one whose
    // interface the system did not name is taken).
    if (!setup_.onlyInterface.isEmpty() && datagram.interfaceIndex > 0 &&
        datagram.interfaceIndex != onlyIndex_)
        return;
    TAnswerSender answer(endpoint, datagram.interfaceIndex);
    TIncomingDatagram incoming;
    incoming.bytes = datagram.bytes;
    bool isIpv4 = false;
    const quint32 ipv4 = datagram.sender.toIPv4Address(&isIpv4);
    if (isIpv4)
        incoming.senderIp = QHostAddress(ipv4).toString().toStdString();
    incoming.senderPort = datagram.senderPort;
    incoming.answerVia = &answer;
    incoming.interfaceIndex = datagram.interfaceIndex;
    handler_(incoming);
}

} // namespace zadari
