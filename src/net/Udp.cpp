#include "net/Udp.h"

#include "net/ApplicationException.h"
#include "net/ERangeError.h"
#include "net/EUdpException.h"
#include "net/WinSockErrors.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

quint16 CheckedPort(qint32 port) {
    if (port < 0 || port > 65535) {
        throw ERangeError();
    }
    return quint16(port);
}

// The address to send to: the first IPv4 address the resolver lists for the host, and only for
// a host that has none, its first IPv6 address. An IPv6 address may stand in brackets.
bool LookUpHost(QString address, sockaddr_storage& result, socklen_t& length) {
    if (address.startsWith(u'[') && address.endsWith(u']')) {
        address = address.sliced(1, address.size() - 2);
    }
    for (const int family : {AF_INET, AF_INET6}) {
        addrinfo hints{};
        hints.ai_family = family;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(address.toUtf8().constData(), nullptr, &hints, &found) == 0 && found) {
            length = found->ai_addrlen;
            std::memcpy(&result, found->ai_addr, found->ai_addrlen);
            freeaddrinfo(found);
            return true;
        }
    }
    return false;
}

quint16 PortOf(const sockaddr_storage& address) {
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                     : reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

void SetPortOf(sockaddr_storage& address, quint16 port) {
    if (address.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
    }
}

} // namespace

TUdp::TUdp(QObject* Owner)
    : QObject(Owner) {}

TUdp::~TUdp() {
    Close();
}

void TUdp::Open() {
    if (IsOpen()) {
        return;
    }
    SocketHandle = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (SocketHandle < 0) {
        throw EUdpException("cannot create socket");
    }
    try {
        const quint16 port = CheckedPort(Port);
        if (!LookUpHost(Address, Destination, DestinationLength)) {
            throw EUdpException("host lookup failure");
        }
        SetPortOf(Destination, port);
        if (Destination.ss_family == AF_INET6) {
            ::close(SocketHandle);
            SocketHandle = socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (SocketHandle < 0) {
                throw EUdpException("cannot create socket");
            }
        }
        Notifier = new QSocketNotifier(SocketHandle, QSocketNotifier::Read, this);
        if (!Notifier->isValid()) {
            throw EUdpException("async select failure");
        }
        connect(Notifier, &QSocketNotifier::activated, this, &TUdp::NotifierActivated);
        Unread = false;
    } catch (...) {
        Close();
        throw;
    }
}

bool TUdp::Close() {
    if (!IsOpen()) {
        return false;
    }
    if (Notifier) {
        // The notifier may be the one whose signal is being handled right now.
        Notifier->setEnabled(false);
        Notifier->deleteLater();
        Notifier = nullptr;
    }
    const bool closed = ::close(SocketHandle) == 0;
    SocketHandle = -1;
    return closed;
}

qint32 TUdp::ReceiveText(char* Buf, qint32 Size) {
    if (!IsOpen()) {
        throw EUdpException("ReceiveText - Socket Not Connected");
    }
    socklen_t fromLength = sizeof FromAddress;
    // MSG_TRUNC makes the kernel report the datagram's real length, so a cut one is recognised.
    const ssize_t received = recvfrom(SocketHandle, Buf, size_t(qMax(Size, 0)), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&FromAddress), &fromLength);
    Unread = false;
    if (!Notifier->isEnabled()) {
        Notifier->setEnabled(true);
    }
    if (received < 0 || received > Size) {
        return -1;
    }
    if (received > 0) {
        char text[INET6_ADDRSTRLEN] = {};
        if (FromAddress.ss_family == AF_INET6) {
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(FromAddress).sin6_addr, text,
                      sizeof text);
        } else {
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(FromAddress).sin_addr, text,
                      sizeof text);
        }
        PeerAddress = QString::fromLatin1(text);
        PeerPort = PortOf(FromAddress);
    }
    return qint32(received);
}

void TUdp::SendText(const char* Buf, qint32 Len) {
    if (Len <= 0) {
        return;
    }
    if (!IsOpen()) {
        throw EUdpException("SendText - Socket Not Connected");
    }
    const ssize_t sent = sendto(SocketHandle, Buf, size_t(Len), 0,
                                reinterpret_cast<const sockaddr*>(&Destination), DestinationLength);
    if (sent == Len && OnWrite) {
        OnWrite(this);
    }
}

bool TUdp::AwaitReadable(qint32 Microseconds) {
    if (!IsOpen()) {
        return false;
    }
    const QDeadlineTimer deadline(std::chrono::microseconds(Microseconds), Qt::PreciseTimer);
    pollfd socket{SocketHandle, POLLIN, 0};
    do {
        if (poll(&socket, 1, 0) > 0) {
            return true;
        }
    } while (!deadline.hasExpired());
    return false;
}

void TUdp::SetRemotePort(qint32 NewPort) {
    SetPortOf(Destination, CheckedPort(NewPort));
}

qint32 TUdp::RemotePort() const {
    return PortOf(Destination);
}

QString TUdp::SocketErrorText(qint32 Code) {
    return WinSock::ErrorText(Code);
}

void TUdp::WndProc(TMessage& Message) {
    if (Message.Msg != WM_SOCKET_NOTIFY) {
        Message.Result = 0;
        return;
    }
    const quint16 error = quint16(Message.LParam >> 16);
    if (error != 0) {
        throw EUdpException(("WSAAsyncSelect - " + SocketErrorText(error)).toStdString());
    }
    if ((Message.LParam & 0xFFFF) == FD_READ && OnRead) {
        OnRead(this);
    }
}

void TUdp::NotifierActivated() {
    // One notification per waiting datagram: the next one comes only after ReceiveText. While a
    // handler has not read its datagram, the socket stays readable, so the notifier is disarmed
    // whenever that shows: when a nested event loop reports the same datagram again (a handler
    // that raised before reading shows the exception in one), and when the handler returns
    // without reading. Disarming costs the event loop two wake-ups, so a handler that reads, as
    // every upload's does, leaves the notifier armed.
    if (Unread) {
        Notifier->setEnabled(false);
        return;
    }
    // The kernel reports ICMP errors only to connected UDP sockets (or with IP_RECVERR), so this
    // socket, which sends with sendto, never holds an error for a notification to carry.
    TMessage message{WM_SOCKET_NOTIFY, quint32(SocketHandle), MakeLParam(FD_READ, 0), 0};
    Unread = true;
    try {
        WndProc(message);
    } catch (...) {
        DisarmWhileUnread();
        HandleException();
    }
    DisarmWhileUnread();
}

void TUdp::DisarmWhileUnread() {
    // The handler may have closed the endpoint.
    if (Unread && Notifier) {
        Notifier->setEnabled(false);
    }
}
