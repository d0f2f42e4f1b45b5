// Addresses: which operands are written as IP addresses, and the order a name's addresses are
// tried in, whatever the machine's resolver lists first.
#include "net/SocketAddress.h"

#include <QTest>

class TestSocketAddress : public QObject {
    Q_OBJECT

private slots:
    void ipAddresses_data();
    void ipAddresses();
    void ipv4First();
};

void TestSocketAddress::ipAddresses_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("address");
    // clang-format off
    QTest::newRow("IPv4")               << "127.0.0.1"     << true;
    QTest::newRow("IPv6")               << "2001:db8::5"   << true;
    QTest::newRow("IPv6 in brackets")   << "[::1]"         << true;
    QTest::newRow("IPv6 with scope")    << "fe80::1%eth0"  << true;
    QTest::newRow("bracketed, scoped")  << "[fe80::1%lo]"  << true;
    QTest::newRow("short IPv4")         << "127.1"         << false;
    QTest::newRow("a number")           << "1"             << false;
    QTest::newRow("five numbers")       << "1.2.3.4.5"     << false;
    QTest::newRow("IPv4 in brackets")   << "[127.0.0.1]"   << false;
    QTest::newRow("name")               << "router"        << false;
    QTest::newRow("name with dots")     << "tftp.lab.example" << false;
    QTest::newRow("empty")              << ""              << false;
    // clang-format on
}

void TestSocketAddress::ipAddresses() {
    QFETCH(QString, host);
    QFETCH(bool, address);
    QCOMPARE(IsIpAddress(host), address);
}

void TestSocketAddress::ipv4First() {
    QList<TSocketAddress> listed;
    for (const char* text : {"::1", "127.0.0.3", "2001:db8::5", "127.0.0.4"}) {
        listed += ResolveNumericHost(QString::fromLatin1(text));
    }
    QCOMPARE(listed.size(), 4);
    QStringList tried;
    for (const TSocketAddress& a : IPv4First(listed)) {
        tried.append(a.Text());
    }
    QCOMPARE(tried, (QStringList{"127.0.0.3", "127.0.0.4", "::1", "2001:db8::5"}));
}

QTEST_GUILESS_MAIN(TestSocketAddress)
#include "tst_socketaddress.moc"
