#include "net/SharedPort.h"

#include <QUdpSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zadari {

bool BindSharedUdp(QUdpSocket& socket, std::uint16_t port) {
    socket.abort();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !socket.setSocketDescriptor(fd, QAbstractSocket::BoundState, QIODevice::ReadWrite)) {
        ::close(fd);
        return false;
    }
    return true;
}

int ForceReceiveBuffer(QUdpSocket& socket, int bytes) {
    const auto fd = static_cast<int>(socket.socketDescriptor());
    if (fd < 0)
        return 0;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int size = 0;
    socklen_t length = sizeof size;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
    return size;
}

} // namespace zadari
