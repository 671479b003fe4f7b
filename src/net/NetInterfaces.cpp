#include "net/NetInterfaces.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>

#include <utility>

namespace zadari {
namespace {

QHostAddress FirstIpv4(const QNetworkInterface& iface) {
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
            return entry.ip();
    }
    return {};
}

template <typename Accept> std::vector<TSendInterface> Collect(Accept accept) {
    std::vector<TSendInterface> result;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !accept(flags))
            continue;
        const QHostAddress local = FirstIpv4(iface);
        if (local.isNull())
            continue;
        TSendInterface entry;
        entry.index = iface.index();
        entry.name = iface.name();
        entry.local = local;
        entry.destination = QHostAddress(QHostAddress::Broadcast);
        result.push_back(std::move(entry));
    }
    return result;
}

} // namespace

std::vector<TSendInterface> BroadcastInterfaces() {
    return Collect([](QNetworkInterface::InterfaceFlags flags) {
        return flags.testFlag(QNetworkInterface::CanBroadcast) &&
               !flags.testFlag(QNetworkInterface::IsLoopBack);
    });
}

std::vector<TSendInterface> MulticastSendInterfaces() {
    return Collect([](QNetworkInterface::InterfaceFlags flags) {
        return flags.testFlag(QNetworkInterface::CanMulticast) &&
               !flags.testFlag(QNetworkInterface::IsLoopBack);
    });
}

std::vector<TSendInterface> MulticastJoinInterfaces() {
    return Collect([](QNetworkInterface::InterfaceFlags flags) {
        return flags.testFlag(QNetworkInterface::CanMulticast);
    });
}

TInterfaceSource OnlyInterface(TInterfaceSource source, const QString& name) {
    if (name.isEmpty() || !source)
        return source;
    return [source = std::move(source), name] {
        std::vector<TSendInterface> interfaces = source();
        std::erase_if(interfaces, [&](const TSendInterface& entry) { return entry.name != name; });
        return interfaces;
    };
}

TInterfaceCache::TInterfaceCache(TInterfaceSource source, qint64 maxAgeMs)
    : source_(std::move(source)), maxAgeMs_(maxAgeMs) {}

const std::vector<TSendInterface>& TInterfaceCache::Get() {
    if (!valid_ || !age_.isValid() || age_.elapsed() >= maxAgeMs_) {
        interfaces_ = source_ ? source_() : std::vector<TSendInterface>{};
        age_.start();
        valid_ = true;
    }
    return interfaces_;
}

} // namespace zadari

namespace zadari {

std::vector<TInterfaceSubnet> InterfaceSubnets(int index) {
    std::vector<TInterfaceSubnet> subnets;
    const QNetworkInterface interface = QNetworkInterface::interfaceFromIndex(index);
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
        bool ipv4 = false;
        const quint32 address = entry.ip().toIPv4Address(&ipv4);
        if (ipv4)
            subnets.push_back({address, entry.netmask().toIPv4Address()});
    }
    return subnets;
}

QString InterfaceName(int index) {
    return QNetworkInterface::interfaceNameFromIndex(index);
}

} // namespace zadari
