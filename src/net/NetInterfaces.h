#pragma once
// The computer's IPv4 interfaces that discovery traffic goes out on. A broadcast to
// 255.255.255.255 would leave only through the adapter of the default route (and fail where there
// is none), so every broadcast and multicast is sent once per interface, the interface chosen per
// datagram.
#include <QElapsedTimer>
#include <QHostAddress>
#include <QString>

#include <functional>
#include <vector>

namespace zadari {

struct TSendInterface {
    int index = 0; ///< kernel interface index (QNetworkDatagram::setInterfaceIndex)
    QString name;
    QHostAddress local;       ///< the interface's first IPv4 address
    QHostAddress destination; ///< where a broadcast on this interface is sent to
};

using TInterfaceSource = std::function<std::vector<TSendInterface>()>;

/// Up, broadcast-capable, not loopback, with an IPv4 address. A broadcast goes to the limited
/// broadcast address with the interface pinned, so it also leaves an adapter without a default
/// route and reaches cameras whose own address lies outside the adapter's subnet.
std::vector<TSendInterface> BroadcastInterfaces();

/// Up, multicast-capable, not loopback, with an IPv4 address: where the multicast sender sends.
std::vector<TSendInterface> MulticastSendInterfaces();

/// Up and multicast-capable with an IPv4 address (loopback too, when it can multicast): where the
/// multicast receiver joins its group.
std::vector<TSendInterface> MulticastJoinInterfaces();

/// The interfaces of `source` named `name` (the kernel's name, "eth0"); all of them when `name`
/// is empty.
TInterfaceSource OnlyInterface(TInterfaceSource source, const QString& name);

/// Asking the kernel for its interfaces costs a netlink round trip; a busy receive path (family-8
/// answers) would ask for every datagram. The answer is kept for a short while.
class TInterfaceCache {
public:
    explicit TInterfaceCache(TInterfaceSource source, qint64 maxAgeMs = 1000);
    const std::vector<TSendInterface>& Get();
    void Invalidate() { valid_ = false; }

private:
    TInterfaceSource source_;
    qint64 maxAgeMs_;
    QElapsedTimer age_;
    bool valid_ = false;
    std::vector<TSendInterface> interfaces_;
};

} // namespace zadari

namespace zadari {

/// An IPv4 subnet of an interface: its address and mask (host order).
struct TInterfaceSubnet {
    quint32 address = 0;
    quint32 mask = 0;
};

/// The IPv4 subnets of the interface with this kernel index (none when it is gone).
std::vector<TInterfaceSubnet> InterfaceSubnets(int index);
/// The interface's name ("" when it is gone).
QString InterfaceName(int index);

} // namespace zadari
