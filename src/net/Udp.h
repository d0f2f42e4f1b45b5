#pragma once

#include "net/SocketAddress.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;

using TNotifyEvent = std::function<void(QObject* Sender)>;
// A socket error with its WinSock number.
using TSocketErrorEvent = std::function<void(QObject* Sender, quint16 Error)>;

// A window message as the endpoint's notification procedure sees it.
struct TMessage {
    quint32 Msg = 0;
    quint32 WParam = 0;
    quint32 LParam = 0;
    qint32 Result = 0;
};

// The message number and event code of a socket read notification.
constexpr quint32 WM_SOCKET_NOTIFY = 1147;
constexpr quint16 FD_READ = 1;

constexpr quint32 MakeLParam(quint16 low, quint16 high) {
    return quint32(high) << 16 | low;
}

// One IPv4 or IPv6 datagram socket aimed at one server. Arriving datagrams are reported through
// OnRead on the thread that owns the endpoint, one notification per waiting datagram: after a
// notification the next one comes only once ReceiveText has been called, and only if a datagram
// is still waiting then.
class TUdp : public QObject {
    Q_OBJECT

public:
    explicit TUdp(QObject* Owner = nullptr);
    ~TUdp() override;

    // Server host name, dotted-decimal address or IPv6 address (bare, in brackets, or with its
    // scope: fe80::1%eth0), and port; used by the next Open. A host with an IPv4 address is
    // reached there; one with only IPv6 addresses over IPv6.
    QString Address;
    qint32 Port = 0;

    // Sender of the last non-empty datagram received.
    QString PeerAddress;
    qint32 PeerPort = 0;

    TNotifyEvent OnRead;
    TNotifyEvent OnWrite;
    // An error the network sent back about an earlier datagram (nothing listens on the port,
    // no route to the host). Without a handler the notification raises it.
    TSocketErrorEvent OnError;
    // Whether the last such error is about the datagrams sent to the destination, address and
    // port, rather than about a reply to some other sender; and whom it is about, "127.0.0.1
    // port 9" (empty when the network did not say).
    bool ErrorAboutRemote() const;
    QString ErrorAboutText() const;

    // Creates the socket, resolves Address and registers for read notifications. Does nothing
    // when already open. Raises EUdpException or ERangeError and leaves the endpoint closed.
    // The look-up of a name holds the thread up; OpenAt takes an address looked up already.
    void Open();
    // The same for Server, one of Address's addresses, at Port.
    void OpenAt(const TSocketAddress& Server);
    // True when an open socket was closed without error.
    bool Close();
    bool IsOpen() const { return SocketHandle >= 0; }

    // One datagram into Buf: its length, 0 for an empty one, -1 for a failure, for nothing
    // waiting and for a datagram longer than Size.
    qint32 ReceiveText(char* Buf, qint32 Size);
    void SendText(const char* Buf, qint32 Len);
    // The errno of the last send when the system refused it, 0 when it took the datagram or
    // only had no room for it yet.
    int LastSendError = 0;
    // Waits up to Microseconds, without sleeping, until a datagram is waiting; true if one is.
    // It reads nothing: the datagram is reported through OnRead as any other.
    bool AwaitReadable(qint32 Microseconds);
    void SetRemotePort(qint32 NewPort);
    // Whether the last datagram came from the host datagrams are sent to, from whatever port.
    bool PeerIsRemoteHost() const { return Peer.SameHost(Destination); }
    // Sends to the sender of the last datagram instead.
    void ReplyText(const char* Buf, qint32 Len);
    // From now on sends to the sender of the last datagram, its address and port.
    void SetRemoteToPeer();
    // The port and address datagrams are sent to.
    qint32 RemotePort() const;
    QString RemoteAddress() const;

    static QString SocketErrorText(qint32 Code);

    // Handles one notification message; raises EUdpException when it carries an error.
    virtual void WndProc(TMessage& Message);

private:
    void NotifierActivated();
    void DisarmWhileUnread();

    int SocketHandle = -1;
    QSocketNotifier* Notifier = nullptr;
    // A datagram has been reported and ReceiveText has not been called since.
    bool Unread = false;
    // The datagram read when it was reported, for ReceiveText: its length as the system gave
    // it (more than the buffer when cut), and where it came from; -1 when none is held.
    QByteArray Held;
    qint64 HeldLength = -1;
    TSocketAddress HeldFrom;
    // Where datagrams go: an IPv4 or IPv6 address with its port.
    TSocketAddress Destination;
    // Where the last datagram came from.
    TSocketAddress Peer;
    // The destination of the datagram the last error was about.
    TSocketAddress ErrorAbout;
};
