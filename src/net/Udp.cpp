#include "net/Udp.h"

#include "net/ApplicationException.h"
#include "net/ERangeError.h"
#include "net/EUdpException.h"
#include "net/WinSockErrors.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
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

// The largest datagram a socket receives, with room to tell a larger one.
constexpr int LargestDatagram = 65536;

// The first error the host or a router sent back about an earlier datagram, taken off the
// socket's error queue, and the destination of that datagram (none when the queue was empty);
// 0 when there is no error.
int TakeQueuedError(int socket, TSocketAddress& about) {
    char control[512];
    about = TSocketAddress();
    iovec nothing{nullptr, 0};
    msghdr message{};
    message.msg_name = &about.Storage;
    message.msg_namelen = sizeof about.Storage;
    message.msg_iov = &nothing;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(socket, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
        return 0;
    }
    about.Length = message.msg_namelen;
    int error = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c && !error; c = CMSG_NXTHDR(&message, c)) {
        if ((c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR) ||
            (c->cmsg_level == SOL_IPV6 && c->cmsg_type == IPV6_RECVERR)) {
            sock_extended_err extended;
            std::memcpy(&extended, CMSG_DATA(c), sizeof extended);
            error = int(extended.ee_errno);
        }
    }
    // The same error is also pending on the socket, where it would fail the next receive.
    int pending = 0;
    socklen_t length = sizeof pending;
    getsockopt(socket, SOL_SOCKET, SO_ERROR, &pending, &length);
    return error ? error : pending;
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
    // Failures come in the endpoint's order: no socket, then a port out of range, then the
    // look-up. The socket for the address found is only made once the family is known.
    SocketHandle = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (SocketHandle < 0) {
        throw EUdpException("cannot create socket", EUdpException::ukSocket);
    }
    const QList<TSocketAddress> found = [this] {
        try {
            CheckedPort(Port);
            return ResolveHost(Address);
        } catch (...) {
            Close();
            throw;
        }
    }();
    Close();
    if (found.isEmpty()) {
        throw EUdpException("host lookup failure", EUdpException::ukLookup);
    }
    OpenAt(found.constFirst());
}

void TUdp::OpenAt(const TSocketAddress& Server) {
    if (IsOpen()) {
        return;
    }
    const quint16 port = CheckedPort(Port);
    SocketHandle = socket(Server.Family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (SocketHandle < 0) {
        throw EUdpException("cannot create socket", EUdpException::ukSocket);
    }
    try {
        Destination = Server;
        Destination.SetPort(port);
        // The host's word that nothing listens on the port (ICMP port unreachable) reaches
        // a socket that sends with sendto only through its error queue.
        const int on = 1;
        if (Server.Family() == AF_INET6) {
            setsockopt(SocketHandle, SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
        } else {
            setsockopt(SocketHandle, SOL_IP, IP_RECVERR, &on, sizeof on);
        }
        LastSendError = 0;
        Notifier = new QSocketNotifier(SocketHandle, QSocketNotifier::Read, this);
        if (!Notifier->isValid()) {
            throw EUdpException("async select failure", EUdpException::ukSelect);
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
    HeldLength = -1;
    return closed;
}

qint32 TUdp::ReceiveText(char* Buf, qint32 Size) {
    if (!IsOpen()) {
        throw EUdpException("ReceiveText - Socket Not Connected", EUdpException::ukClosed);
    }
    TSocketAddress from;
    ssize_t received;
    if (HeldLength >= 0) {
        // Read already when it was reported.
        received = ssize_t(HeldLength);
        from = HeldFrom;
        std::memcpy(Buf, Held.constData(), size_t(qMin<qint64>(HeldLength, qMax(Size, 0))));
        HeldLength = -1;
    } else {
        from.Length = sizeof from.Storage;
        // MSG_TRUNC makes the kernel report the datagram's real length, so a cut one is
        // recognised.
        received = recvfrom(SocketHandle, Buf, size_t(qMax(Size, 0)), MSG_TRUNC,
                            reinterpret_cast<sockaddr*>(&from.Storage), &from.Length);
    }
    Unread = false;
    if (!Notifier->isEnabled()) {
        Notifier->setEnabled(true);
    }
    if (received < 0 || received > Size) {
        return -1;
    }
    if (received > 0) {
        Peer = from;
        PeerAddress = from.Text();
        PeerPort = from.Port();
    }
    return qint32(received);
}

void TUdp::SendText(const char* Buf, qint32 Len) {
    if (Len <= 0) {
        return;
    }
    if (!IsOpen()) {
        throw EUdpException("SendText - Socket Not Connected", EUdpException::ukClosed);
    }
    const ssize_t sent =
        sendto(SocketHandle, Buf, size_t(Len), 0,
               reinterpret_cast<const sockaddr*>(&Destination.Storage), Destination.Length);
    if (sent < 0) {
        // A full send buffer only delays the datagram to the next retransmission.
        LastSendError = errno == EAGAIN || errno == ENOBUFS ? 0 : errno;
        return;
    }
    LastSendError = 0;
    if (sent == Len && OnWrite) {
        OnWrite(this);
    }
}

void TUdp::ReplyText(const char* Buf, qint32 Len) {
    if (Len <= 0 || !IsOpen() || Peer.Length == 0) {
        return;
    }
    // Whether the sender hears it or not changes nothing for the exchange under way.
    (void)sendto(SocketHandle, Buf, size_t(Len), 0,
                 reinterpret_cast<const sockaddr*>(&Peer.Storage), Peer.Length);
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

void TUdp::SetRemoteToPeer() {
    if (Peer.Length > 0) {
        Destination = Peer;
    }
}

void TUdp::SetRemotePort(qint32 NewPort) {
    Destination.SetPort(CheckedPort(NewPort));
}

qint32 TUdp::RemotePort() const {
    return Destination.Port();
}

QString TUdp::RemoteAddress() const {
    return Destination.Length > 0 ? Destination.Text() : QString();
}

bool TUdp::ErrorAboutRemote() const {
    // An error the queue did not place is taken to be about the destination, as any used to be.
    return ErrorAbout.Length == 0 ||
           (ErrorAbout.SameHost(Destination) && ErrorAbout.Port() == Destination.Port());
}

QString TUdp::ErrorAboutText() const {
    return ErrorAbout.Length == 0
               ? QString()
               : QStringLiteral("%1 port %2").arg(ErrorAbout.Text()).arg(ErrorAbout.Port());
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
    if (error != 0 && OnError) {
        OnError(this, error);
        return;
    }
    if (error != 0) {
        throw EUdpException(("WSAAsyncSelect - " + SocketErrorText(error)).toStdString(),
                            EUdpException::ukNotified);
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
    // The datagram is read now, so that it costs one system call: the error queue is read only
    // when the system says there is an error. An error the network sent back comes first, in a
    // notification of its own; a datagram waiting behind it keeps the socket readable and is
    // reported next.
    int error = 0;
    if (HeldLength < 0) {
        if (Held.size() != LargestDatagram) {
            Held.resize(LargestDatagram);
        }
        HeldFrom = TSocketAddress();
        HeldFrom.Length = sizeof HeldFrom.Storage;
        const ssize_t received =
            recvfrom(SocketHandle, Held.data(), size_t(Held.size()), MSG_TRUNC | MSG_DONTWAIT,
                     reinterpret_cast<sockaddr*>(&HeldFrom.Storage), &HeldFrom.Length);
        const int failure = errno;
        if (received >= 0) {
            HeldLength = received;
        } else {
            error = TakeQueuedError(SocketHandle, ErrorAbout);
            if (error == 0 && failure != EAGAIN && failure != EWOULDBLOCK) {
                error = failure;
            }
            if (error == 0) {
                // Nothing after all: another reader took it.
                return;
            }
        }
    }
    TMessage message{WM_SOCKET_NOTIFY, quint32(SocketHandle),
                     MakeLParam(FD_READ, quint16(WinSock::FromErrno(error))), 0};
    if (error != 0) {
        try {
            WndProc(message);
        } catch (...) {
            HandleException();
        }
        return;
    }
    Unread = true;
    // The handler may delete the endpoint with its owner.
    const QPointer<TUdp> alive(this);
    try {
        WndProc(message);
    } catch (...) {
        if (alive) {
            DisarmWhileUnread();
        }
        HandleException();
    }
    if (alive) {
        DisarmWhileUnread();
    }
}

void TUdp::DisarmWhileUnread() {
    // The handler may have closed the endpoint.
    if (Unread && Notifier) {
        Notifier->setEnabled(false);
    }
}
