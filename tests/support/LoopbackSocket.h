#pragma once

#include <QByteArray>
#include <QString>
#include <netinet/in.h>
#include <optional>

// A plain blocking UDP socket on a loopback address (IPv6 for an address with a colon), the
// other end of an endpoint under test.
class LoopbackSocket {
public:
    explicit LoopbackSocket(const char* address = "127.0.0.1", quint16 port = 0);
    ~LoopbackSocket();
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    struct Datagram {
        QByteArray bytes;
        quint16 port = 0;
    };

    quint16 port() const { return boundPort; }
    int handle() const { return fd; }
    void sendTo(quint16 port, const QByteArray& bytes, const char* address = "127.0.0.1");
    // Waits up to timeoutMs for one datagram.
    std::optional<Datagram> receive(int timeoutMs = 2000);

private:
    int fd = -1;
    quint16 boundPort = 0;
};

// A UDP port on 127.0.0.1 that was free a moment ago.
quint16 FreeUdpPort();
