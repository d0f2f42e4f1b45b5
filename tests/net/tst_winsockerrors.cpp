#include "net/Udp.h"
#include "net/WinSockErrors.h"

#include <QTest>
#include <cerrno>

class TestWinSockErrors : public QObject {
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void fromErrno_data();
    void fromErrno();
};

void TestWinSockErrors::text_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const QString none = QStringLiteral("Not a WinSock error");
    QTest::newRow("zero") << 0 << none;
    QTest::newRow("negative") << -1 << none;
    QTest::newRow("base") << 10000 << none;
    QTest::newRow("below first") << 10003 << none;
    QTest::newRow("first") << 10004 << "Interrupted system call";
    QTest::newRow("gap after first") << 10005 << none;
    QTest::newRow("network down") << 10050 << "Network is down";
    QTest::newRow("no errno twin") << 10067 << "Too many processes";
    QTest::newRow("last classic") << 10071 << "Too many levels of remote in path";
    QTest::newRow("gap after classic") << 10072 << none;
    QTest::newRow("before library") << 10090 << none;
    QTest::newRow("library") << 10091 << "Network sub-system is unusable";
    QTest::newRow("not initialised") << 10093 << "WinSock not initialized";
    QTest::newRow("after library") << 10094 << none;
    QTest::newRow("before lookup") << 11000 << none;
    QTest::newRow("host not found") << 11001 << "Host not found";
    QTest::newRow("no data") << 11004 << "No Data";
    QTest::newRow("after lookup") << 11005 << none;
}

void TestWinSockErrors::text() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(TUdp::SocketErrorText(code), text);
}

void TestWinSockErrors::fromErrno_data() {
    QTest::addColumn<int>("err");
    QTest::addColumn<int>("code");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("same number") << EACCES << 10013;
    QTest::newRow("would block") << EAGAIN << 10035;
    QTest::newRow("network down") << ENETDOWN << 10050;
    QTest::newRow("refused") << ECONNREFUSED << 10061;
    QTest::newRow("host unreachable") << EHOSTUNREACH << 10065;
    QTest::newRow("name too long") << ENAMETOOLONG << 10063;
    QTest::newRow("no counterpart") << EPERM << 10000;
}

void TestWinSockErrors::fromErrno() {
    QFETCH(int, err);
    QFETCH(int, code);
    QCOMPARE(WinSock::FromErrno(err), code);
}

QTEST_APPLESS_MAIN(TestWinSockErrors)
#include "tst_winsockerrors.moc"
