#include "net/ERangeError.h"
#include "net/EUdpException.h"
#include "net/Udp.h"
#include "support/ExceptionRecorder.h"
#include "support/LoopbackSocket.h"
#include "support/Thrown.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// An endpoint aimed at a loopback socket; its first send tells the socket which port to answer.
template <typename Endpoint = TUdp> struct Pair {
    LoopbackSocket server;
    Endpoint udp;
    quint16 udpPort = 0;

    Pair() {
        udp.Address = QStringLiteral("127.0.0.1");
        udp.Port = server.port();
        udp.Open();
        udp.SendText("x", 1);
        udpPort = server.receive().value_or(LoopbackSocket::Datagram()).port;
    }
    void toEndpoint(const QByteArray& bytes) { server.sendTo(udpPort, bytes); }
};

// The next datagram to reach `socket` carries `expected`; the test fails when none arrives.
#define COMPARE_RECEIVED(socket, expected)                                                         \
    do {                                                                                           \
        const std::optional<LoopbackSocket::Datagram> datagram = (socket).receive();               \
        QVERIFY2(datagram, "no datagram arrived");                                                 \
        QCOMPARE(datagram->bytes, QByteArray(expected));                                           \
    } while (false)

// Receives once, as soon as the endpoint reports a waiting datagram.
qint32 ReceiveWhenNotified(TUdp& udp, char* buf, qint32 size) {
    bool notified = false;
    udp.OnRead = [&](QObject*) {
        notified = true;
    };
    if (!QTest::qWaitFor([&] { return notified; })) {
        return -2;
    }
    udp.OnRead = nullptr;
    return udp.ReceiveText(buf, size);
}

class CountingUdp : public TUdp {
public:
    int messages = 0;
    bool raise = false;
    void WndProc(TMessage& Message) override {
        ++messages;
        if (raise) {
            throw EUdpException("raised in a handler");
        }
        TUdp::WndProc(Message);
    }
};

} // namespace

class TestUdp : public QObject {
    Q_OBJECT

private slots:
    void ipv6Addresses_data();
    void ipv6Addresses();
    void oneReadEventPerDatagram();
    void noFurtherEventUntilReceive();
    void awaitReadableLeavesTheDatagramToOnRead();
    void receiveReportsLengthAndSender();
    void truncatedDatagramFailsAndKeepsPeer();
    void closedEndpointRaises();
    void secondOpenChangesNothing();
    void failedOpenLeavesEndpointClosed_data();
    void failedOpenLeavesEndpointClosed();
    void dottedAddressResolvesToThatAddress();
    void remotePortLastsUntilClose();
    void remotePortOutOfRange();
    void onWriteOncePerCompleteSend();
    void notificationWithErrorRaises();
    void portUnreachableIsReported();
    void otherMessagesAreIgnored();
    void exceptionFromNotificationReachesDisplay();
    void raisingHandlerGetsNoEventInsideTheDisplay();
    void closeReportsWhetherSocketWasOpen();
};

void TestUdp::oneReadEventPerDatagram() {
    Pair p;
    QList<QByteArray> seen;
    p.udp.OnRead = [&](QObject* sender) {
        QCOMPARE(sender, &p.udp);
        char buf[16];
        const int n = p.udp.ReceiveText(buf, sizeof buf);
        seen.append(QByteArray(buf, qMax(n, 0)));
    };
    p.toEndpoint("one");
    p.toEndpoint("two");
    p.toEndpoint("three");
    QTRY_COMPARE(seen.size(), 3);
    QTest::qWait(50);
    QCOMPARE(seen, (QList<QByteArray>{"one", "two", "three"}));
}

void TestUdp::noFurtherEventUntilReceive() {
    Pair p;
    int events = 0;
    p.udp.OnRead = [&](QObject*) {
        ++events;
    };
    p.toEndpoint("a");
    p.toEndpoint("b");
    QTRY_COMPARE(events, 1);
    QTest::qWait(50);
    QCOMPARE(events, 1);

    char buf[4];
    QCOMPARE(p.udp.ReceiveText(buf, sizeof buf), 1);
    QTRY_COMPARE(events, 2);
    QCOMPARE(p.udp.ReceiveText(buf, sizeof buf), 1);
    QTest::qWait(50);
    QCOMPARE(events, 2);
    QCOMPARE(p.udp.ReceiveText(buf, sizeof buf), -1);

    // A handler that waits in an event loop of its own before it reads is not told of the same
    // datagram again while it waits.
    int nested = 0;
    p.udp.OnRead = [&](QObject*) {
        ++nested;
        QTest::qWait(50);
        char one[4];
        p.udp.ReceiveText(one, sizeof one);
    };
    p.toEndpoint("c");
    QTRY_COMPARE(nested, 1);
    QTest::qWait(50);
    QCOMPARE(nested, 1);

    // An endpoint nobody listens to is told once and then stays quiet: no busy loop.
    Pair<CountingUdp> quiet;
    quiet.toEndpoint("1");
    quiet.toEndpoint("2");
    QTRY_COMPARE(quiet.udp.messages, 1);
    QTest::qWait(50);
    QCOMPARE(quiet.udp.messages, 1);
}

void TestUdp::awaitReadableLeavesTheDatagramToOnRead() {
    TUdp closed;
    QVERIFY(!closed.AwaitReadable(1000));

    Pair p;
    QList<QByteArray> seen;
    p.udp.OnRead = [&](QObject*) {
        char buf[16];
        const int n = p.udp.ReceiveText(buf, sizeof buf);
        seen.append(QByteArray(buf, qMax(n, 0)));
    };
    QVERIFY(!p.udp.AwaitReadable(1000));
    p.toEndpoint("one");
    QVERIFY(p.udp.AwaitReadable(5000000));
    QVERIFY(p.udp.AwaitReadable(0));
    QVERIFY(seen.isEmpty());
    QTRY_COMPARE(seen.size(), 1);
    QTest::qWait(50);
    QCOMPARE(seen, QList<QByteArray>{"one"});
    QVERIFY(!p.udp.AwaitReadable(0));
}

void TestUdp::receiveReportsLengthAndSender() {
    Pair p;
    char buf[16];
    QCOMPARE(p.udp.ReceiveText(buf, sizeof buf), -1);
    QCOMPARE(p.udp.PeerAddress, QString());
    QCOMPARE(p.udp.PeerPort, 0);

    p.toEndpoint("hello");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, sizeof buf), 5);
    QCOMPARE(QByteArray(buf, 5), QByteArray("hello"));
    QCOMPARE(p.udp.PeerAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(p.udp.PeerPort, p.server.port());

    // An empty datagram, even from another sender, is received but names nobody.
    LoopbackSocket other;
    other.sendTo(p.udpPort, QByteArray());
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, sizeof buf), 0);
    QCOMPARE(p.udp.PeerPort, p.server.port());

    // Any sender is reported, not only the server.
    other.sendTo(p.udpPort, "z");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, sizeof buf), 1);
    QCOMPARE(p.udp.PeerPort, other.port());
}

void TestUdp::truncatedDatagramFailsAndKeepsPeer() {
    Pair p;
    char buf[8] = {};
    p.toEndpoint("ab");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, sizeof buf), 2);

    // A datagram that fills the buffer exactly arrives whole; a longer one fails.
    p.toEndpoint("wxyz");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, 4), 4);
    QCOMPARE(QByteArray(buf, 4), QByteArray("wxyz"));
    LoopbackSocket other;
    other.sendTo(p.udpPort, "0123456789");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, 4), -1);
    QCOMPARE(QByteArray(buf, 4), QByteArray("0123"));
    QCOMPARE(p.udp.PeerPort, p.server.port());
    // The rest of the cut datagram is gone; the next receive sees the next datagram.
    p.toEndpoint("next");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, sizeof buf), 4);
}

void TestUdp::closedEndpointRaises() {
    TUdp udp;
    char buf[4];
    QCOMPARE(ThrownMessage([&] { udp.ReceiveText(buf, sizeof buf); }),
             QStringLiteral("ReceiveText - Socket Not Connected"));
    QCOMPARE(ThrownMessage([&] { udp.SendText("abc", 3); }),
             QStringLiteral("SendText - Socket Not Connected"));
    int writes = 0;
    udp.OnWrite = [&](QObject*) {
        ++writes;
    };
    QCOMPARE(ThrownMessage([&] { udp.SendText("abc", 0); }), QString());
    QCOMPARE(ThrownMessage([&] { udp.SendText("abc", -1); }), QString());
    QCOMPARE(writes, 0);
    QVERIFY(!udp.IsOpen());
}

void TestUdp::secondOpenChangesNothing() {
    Pair p;
    LoopbackSocket elsewhere;
    p.udp.SetRemotePort(elsewhere.port());
    p.udp.Address = QStringLiteral("no.such.host.invalid");
    p.udp.Port = 1;
    p.udp.Open();
    p.udp.SendText("again", 5);
    COMPARE_RECEIVED(elsewhere, "again");
}

void TestUdp::failedOpenLeavesEndpointClosed_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown host") << "no.such.host.invalid" << 69 << "host lookup failure";
    QTest::newRow("empty address") << "" << 69 << "host lookup failure";
    QTest::newRow("port too large") << "127.0.0.1" << 65536 << "範囲チェックエラー";
    QTest::newRow("negative port") << "127.0.0.1" << -1 << "範囲チェックエラー";
}

void TestUdp::failedOpenLeavesEndpointClosed() {
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, message);
    LoopbackSocket server;
    TUdp udp;
    udp.Address = address;
    udp.Port = port;
    QCOMPARE(ThrownMessage([&] { udp.Open(); }), message);
    QVERIFY(!udp.IsOpen());
    QVERIFY(!udp.Close());

    udp.Address = QStringLiteral("127.0.0.1");
    udp.Port = server.port();
    udp.Open();
    QVERIFY(udp.IsOpen());
    udp.SendText("ok", 2);
    COMPARE_RECEIVED(server, "ok");
}

void TestUdp::ipv6Addresses_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("bare") << "::1";
    QTest::newRow("in brackets") << "[::1]";
    QTest::newRow("written out") << "0:0:0:0:0:0:0:1";
}

void TestUdp::ipv6Addresses() {
    QFETCH(QString, address);
    LoopbackSocket server("::1");
    LoopbackSocket transfer("::1");
    TUdp udp;
    udp.Address = address;
    udp.Port = server.port();
    udp.Open();
    udp.SendText("request", 7);
    const auto request = server.receive();
    QVERIFY(request);
    QCOMPARE(request->bytes, QByteArray("request"));

    // The answer comes from another port, which the endpoint then sends to, as TFTP does.
    transfer.sendTo(request->port, "ack", "::1");
    char buffer[16];
    qint32 received = -1;
    QVERIFY(
        QTest::qWaitFor([&] { return (received = udp.ReceiveText(buffer, sizeof buffer)) >= 0; }));
    QCOMPARE(received, 3);
    QCOMPARE(udp.PeerAddress, QStringLiteral("::1"));
    QCOMPARE(udp.PeerPort, transfer.port());
    udp.SetRemotePort(udp.PeerPort);
    QCOMPARE(udp.RemotePort(), transfer.port());
    udp.SendText("data", 4);
    COMPARE_RECEIVED(transfer, "data");
}

void TestUdp::dottedAddressResolvesToThatAddress() {
    LoopbackSocket second("127.0.0.2");
    TUdp udp;
    udp.Address = QStringLiteral("127.0.0.2");
    udp.Port = second.port();
    udp.Open();
    udp.SendText("to .2", 5);
    COMPARE_RECEIVED(second, "to .2");
    udp.Close();

    LoopbackSocket local;
    udp.Address = QStringLiteral("localhost");
    udp.Port = local.port();
    udp.Open();
    udp.SendText("by name", 7);
    COMPARE_RECEIVED(local, "by name");

    udp.Close();
    udp.Port = 65535;
    udp.Open();
    QVERIFY(udp.IsOpen());
}

void TestUdp::remotePortLastsUntilClose() {
    Pair p;
    LoopbackSocket transfer;
    p.udp.SetRemotePort(transfer.port());
    p.udp.SendText("moved", 5);
    COMPARE_RECEIVED(transfer, "moved");

    p.udp.Close();
    p.udp.SetRemotePort(transfer.port()); // harmless while closed, and forgotten by Open
    p.udp.Open();
    p.udp.SendText("back", 4);
    COMPARE_RECEIVED(p.server, "back");
}

void TestUdp::remotePortOutOfRange() {
    Pair p;
    QCOMPARE(ThrownMessage([&] { p.udp.SetRemotePort(65536); }),
             QStringLiteral("範囲チェックエラー"));
    QCOMPARE(ThrownMessage([&] { p.udp.SetRemotePort(-1); }), QStringLiteral("範囲チェックエラー"));
    p.udp.SendText("same", 4);
    COMPARE_RECEIVED(p.server, "same");
    QVERIFY_THROWS_EXCEPTION(ERangeError, p.udp.SetRemotePort(70000));
}

void TestUdp::onWriteOncePerCompleteSend() {
    Pair p;
    QList<QObject*> writes;
    p.udp.OnWrite = [&](QObject* sender) {
        writes.append(sender);
    };
    p.udp.SendText("abc", 3);
    p.udp.SendText("abcd", 2);
    QCOMPARE(writes, (QList<QObject*>{&p.udp, &p.udp}));
    COMPARE_RECEIVED(p.server, "abc");
    COMPARE_RECEIVED(p.server, "ab");

    // A datagram the network refuses is not complete: no event.
    QByteArray tooLarge(70000, 'x');
    p.udp.SendText(tooLarge.constData(), qint32(tooLarge.size()));
    QCOMPARE(writes.size(), 2);
}

void TestUdp::notificationWithErrorRaises() {
    TUdp udp;
    int reads = 0;
    udp.OnRead = [&](QObject*) {
        ++reads;
    };
    TMessage m{WM_SOCKET_NOTIFY, 0, MakeLParam(FD_READ, 10050), 0};
    QCOMPARE(ThrownMessage([&] { udp.WndProc(m); }),
             QStringLiteral("WSAAsyncSelect - Network is down"));
    TMessage unknown{WM_SOCKET_NOTIFY, 0, MakeLParam(FD_READ, 12345), 0};
    QCOMPARE(ThrownMessage([&] { udp.WndProc(unknown); }),
             QStringLiteral("WSAAsyncSelect - Not a WinSock error"));
    QCOMPARE(reads, 0);

    TMessage read{WM_SOCKET_NOTIFY, 0, MakeLParam(FD_READ, 0), 0};
    udp.WndProc(read);
    QCOMPARE(reads, 1);
}

void TestUdp::portUnreachableIsReported() {
    // Nothing listens on the port: the host answers with ICMP port unreachable.
    TUdp udp;
    udp.Address = QStringLiteral("127.0.0.1");
    udp.Port = FreeUdpPort();
    udp.Open();
    QList<quint16> errors;
    int reads = 0;
    udp.OnError = [&](QObject*, quint16 error) {
        errors.append(error);
    };
    udp.OnRead = [&](QObject*) {
        char buf[16];
        reads += udp.ReceiveText(buf, sizeof buf) == 4;
    };
    udp.SendText("ping", 4);
    QTRY_COMPARE(errors, QList<quint16>{10061});
    QVERIFY(udp.ErrorAboutRemote());
    QCOMPARE(udp.ErrorAboutText(), QStringLiteral("127.0.0.1 port %1").arg(udp.Port));

    // The error is taken off the socket: a datagram that arrives next is read as usual.
    LoopbackSocket peer;
    udp.SetRemotePort(peer.port());
    udp.SendText("here", 4);
    const std::optional<LoopbackSocket::Datagram> from = peer.receive();
    QVERIFY(from);
    peer.sendTo(from->port, "back");
    QTRY_COMPARE(reads, 1);
    QCOMPARE(errors.size(), 1);

    // Without a handler the notification raises, as any that carries an error.
    ExceptionRecorder recorder;
    udp.OnError = nullptr;
    udp.SetRemotePort(FreeUdpPort());
    udp.SendText("ping", 4);
    QTRY_COMPARE(recorder.shown, QStringList{"WSAAsyncSelect - Connection refused"});
}

void TestUdp::otherMessagesAreIgnored() {
    TUdp udp;
    int reads = 0;
    udp.OnRead = [&](QObject*) {
        ++reads;
    };
    TMessage write{WM_SOCKET_NOTIFY, 0, MakeLParam(2, 0), 0};
    udp.WndProc(write);
    TMessage other{WM_SOCKET_NOTIFY + 1, 0, MakeLParam(FD_READ, 0), 7};
    udp.WndProc(other);
    QCOMPARE(other.Result, 0);
    QCOMPARE(reads, 0);

    // Without a handler a read notification is simply dropped.
    TUdp silent;
    TMessage read{WM_SOCKET_NOTIFY, 0, MakeLParam(FD_READ, 0), 0};
    QCOMPARE(ThrownMessage([&] { silent.WndProc(read); }), QString());
}

void TestUdp::exceptionFromNotificationReachesDisplay() {
    ExceptionRecorder recorder;
    Pair<CountingUdp> p;
    p.udp.raise = true;
    p.toEndpoint("boom");
    QTRY_COMPARE(recorder.shown, QStringList{"raised in a handler"});
}

void TestUdp::raisingHandlerGetsNoEventInsideTheDisplay() {
    Pair p;
    int events = 0;
    int displays = 0;
    p.udp.OnRead = [&](QObject*) {
        ++events;
        throw EUdpException("raised before reading");
    };
    // The display runs a nested event loop, as a message box does; nesting is cut short so
    // that a fault shows as a count, not as a stack overflow.
    const ExceptionDisplay previous = SetExceptionDisplay([&](const std::exception&) {
        if (++displays < 5) {
            QTest::qWait(100);
        }
    });
    p.toEndpoint("once");
    QTRY_COMPARE(displays, 1);
    QTest::qWait(50);
    SetExceptionDisplay(previous);
    QCOMPARE(events, 1);
    QCOMPARE(displays, 1);

    // The datagram stays waiting: a receive takes it, and the next one is reported again.
    p.udp.OnRead = nullptr;
    char buf[8];
    QCOMPARE(p.udp.ReceiveText(buf, sizeof buf), 4);
    p.toEndpoint("next");
    QCOMPARE(ReceiveWhenNotified(p.udp, buf, sizeof buf), 4);
}

void TestUdp::closeReportsWhetherSocketWasOpen() {
    Pair p;
    QVERIFY(p.udp.Close());
    QVERIFY(!p.udp.IsOpen());
    QVERIFY(!p.udp.Close());
}

QTEST_GUILESS_MAIN(TestUdp)
#include "tst_udp.moc"
