#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

LoopbackSocket::LoopbackSocket(const char* address, quint16 port)
    : fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address, &local.sin_addr);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        throw std::runtime_error("cannot bind a loopback socket");
    }
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    boundPort = ntohs(local.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
    ::close(fd);
}

void LoopbackSocket::sendTo(quint16 port, const QByteArray& bytes, const char* address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, address, &to.sin_addr);
    sendto(fd, bytes.constData(), size_t(bytes.size()), 0, reinterpret_cast<sockaddr*>(&to),
           sizeof to);
}

std::optional<LoopbackSocket::Datagram> LoopbackSocket::receive(int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) {
        return std::nullopt;
    }
    char buffer[65536];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) {
        return std::nullopt;
    }
    return Datagram{QByteArray(buffer, n), ntohs(from.sin_port)};
}

quint16 FreeUdpPort() {
    return LoopbackSocket().port();
}
