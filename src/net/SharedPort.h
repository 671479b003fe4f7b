#pragma once
// Binding the UDP sockets of the standard discovery protocols. Their well-known ports (3702,
// 1900) are shared with whatever else listens there on the computer (the system's own
// WS-Discovery or SSDP stack, a media server), so the socket takes both SO_REUSEADDR and
// SO_REUSEPORT before it binds: every socket on the port, whichever of the two it set, then gets
// its copy of each multicast datagram.
#include <cstdint>

class QUdpSocket;

namespace zadari {

/// Binds `socket` to any IPv4 address on `port` (0: a free port of its own) with the port shared
/// as above. False when the port cannot be had.
bool BindSharedUdp(QUdpSocket& socket, std::uint16_t port);

/// Makes the socket's kernel receive queue `bytes` long: past the system's limit where the
/// process may (SO_RCVBUFFORCE), else as far as the limit allows. The size the kernel reports.
int ForceReceiveBuffer(QUdpSocket& socket, int bytes);

} // namespace zadari
