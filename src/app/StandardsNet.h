#pragma once
// What the standard discovery providers (WS-Discovery, SSDP/UPnP, mDNS) need from the network:
// UDP sockets of their own that send to a multicast group once per up IPv4 interface, the
// kernel's neighbour table, and bounded HTTP fetches off the main thread. Tests give the
// providers a recording double; the program gives them the system's.
#include "protocols/Bytes.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zadari {

/// A datagram as a provider sees it; `bytes` lives only during the handler call.
struct TStandardsDatagram {
    TByteView bytes;
    std::string senderIp; ///< dotted IPv4
    std::uint16_t senderPort = 0;
    /// The kernel's index of the interface it came in on; 0 when not known.
    int interfaceIndex = 0;
};

struct TStandardsSocketSetup {
    std::string name;
    /// 0: a free port of its own (answers come back to it by unicast); else the protocol's port,
    /// shared with the other programs that listen there.
    std::uint16_t port = 0;
    /// The group joined on every multicast interface; empty for none.
    std::string group;
    /// Longer datagrams are dropped unread.
    std::size_t maxDatagram = 0;
    /// Hops of what the socket multicasts.
    int ttl = 1;
};

class IStandardsSocket {
public:
    virtual ~IStandardsSocket() = default;
    /// One copy to `group`:`port` on every up, multicast-capable IPv4 interface; true when one
    /// went out.
    virtual bool SendToGroup(TByteView bytes, const std::string& group, std::uint16_t port) = 0;
    /// Joins the group on interfaces that came up since the last call.
    virtual void Refresh() {}
};

class IStandardsNet {
public:
    using THandler = std::function<void(const TStandardsDatagram&)>;
    /// Called on the main thread with the body of a fetch (`ok` false: nothing usable came).
    using TFetched = std::function<void(bool ok, const std::string& body)>;

    virtual ~IStandardsNet() = default;
    /// A socket whose datagrams go to `handler` on the main thread; null when it cannot open.
    virtual std::unique_ptr<IStandardsSocket> Open(const TStandardsSocketSetup& setup,
                                                   THandler handler) = 0;
    /// The hardware address the kernel's neighbour table holds for `ip`, "" when none.
    virtual std::string NeighbourMac(const std::string& ip) = 0;
    /// GETs an http URL (at most `maxBytes`) off the main thread; `done` follows on the main
    /// thread, unless CancelFetches() came first.
    virtual void Fetch(const std::string& url, std::size_t maxBytes, TFetched done) = 0;
    /// No `done` of an earlier Fetch is called any more.
    virtual void CancelFetches() = 0;
};

/// The computer's sockets, neighbour table and HTTP; with `onlyInterface` (a kernel name) the
/// sockets send, join and hear on that adapter alone.
std::unique_ptr<IStandardsNet> MakeSystemStandardsNet(const QString& onlyInterface = QString());

} // namespace zadari
