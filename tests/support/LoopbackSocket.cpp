#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// An IPv4 or, for a text with a colon, IPv6 address with its port.
socklen_t MakeAddress(const char* address, quint16 port, sockaddr_storage& result) {
    result = sockaddr_storage{};
    if (std::strchr(address, ':')) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(result);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        inet_pton(AF_INET6, address, &v6.sin6_addr);
        return sizeof v6;
    }
    auto& v4 = reinterpret_cast<sockaddr_in&>(result);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    inet_pton(AF_INET, address, &v4.sin_addr);
    return sizeof v4;
}

} // namespace

LoopbackSocket::LoopbackSocket(const char* address, quint16 port) {
    sockaddr_storage local{};
    socklen_t length = MakeAddress(address, port, local);
    fd = socket(local.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0) {
        throw std::runtime_error("cannot bind a loopback socket");
    }
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    boundPort =
        ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(local).sin6_port
                                          : reinterpret_cast<const sockaddr_in&>(local).sin_port);
}

LoopbackSocket::~LoopbackSocket() {
    ::close(fd);
}

void LoopbackSocket::sendTo(quint16 port, const QByteArray& bytes, const char* address) {
    sockaddr_storage to{};
    const socklen_t length = MakeAddress(address, port, to);
    sendto(fd, bytes.constData(), size_t(bytes.size()), 0, reinterpret_cast<sockaddr*>(&to),
           length);
}

std::optional<LoopbackSocket::Datagram> LoopbackSocket::receive(int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) {
        return std::nullopt;
    }
    char buffer[65536];
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) {
        return std::nullopt;
    }
    const in_port_t port = from.ss_family == AF_INET6
                               ? reinterpret_cast<const sockaddr_in6&>(from).sin6_port
                               : reinterpret_cast<const sockaddr_in&>(from).sin_port;
    return Datagram{QByteArray(buffer, n), ntohs(port)};
}

quint16 FreeUdpPort() {
    return LoopbackSocket().port();
}
