// Uploads to a real tftpd-hpa on a loopback port, compared byte for byte with what it stored;
// over IPv6 too, by the upload and by zanvel-send.

#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "support/RealTftpServer.h"
#include "support/UploadFixture.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

class TestTftpdHpa : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void upload_data();
    void upload();
    void withOptions_data();
    void withOptions();
    void overIpv6_data();
    void overIpv6();

private:
    std::unique_ptr<RealTftpServer> server;
};

void TestTftpdHpa::initTestCase() {
    server = std::make_unique<RealTftpServer>(RealTftpServer::TftpdHpa);
    SKIP_UNLESS_RUNNING(*server);
}

void TestTftpdHpa::upload_data() {
    QTest::addColumn<qint64>("size");
    QTest::newRow("1 byte") << qint64(1);
    QTest::newRow("one full block") << qint64(512);
    QTest::newRow("600 KiB") << qint64(600 * 1024);
    // The closing empty block is numbered 65535 or, wrapped, 0 on the wire.
    QTest::newRow("65535 blocks") << qint64(65535) * 512;
    QTest::newRow("65536 blocks") << qint64(65536) * 512;
    QTest::newRow("past the rollover") << qint64(65536) * 512 + 700;
}

void TestTftpdHpa::upload() {
    QFETCH(qint64, size);
    UploadFixture f(false); // four trace lines per block are not what this test is about
    f.entry.RetransmitMs = 1000;
    f.entry.ServerPort = server->port();
    f.entry.RemoteFile = QStringLiteral("upload-%1.bin").arg(size);
    QByteArray content(size, '\0');
    QRandomGenerator random{quint32(size)};
    random.fillRange(reinterpret_cast<quint32*>(content.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i) {
        content[i] = char(random.generate());
    }
    f.setFile(content);

    // 32 MiB take several seconds on a slow, busy machine; only a hang should fail here.
    QCOMPARE(f.run(120000), int(trCompleted));
    QFile stored(server->filePath(f.entry.RemoteFile));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray copy = stored.readAll();
    QCOMPARE(copy.size(), content.size());
    QVERIFY(copy == content);
}

void TestTftpdHpa::withOptions_data() {
    QTest::addColumn<int>("blksize");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("granted");
    const QString big = QStringLiteral("options acked: blksize=1468 windowsize=1");
    QTest::newRow("half a block") << 1468 << qint64(734) << big;
    QTest::newRow("one block") << 1468 << qint64(1468) << big;
    QTest::newRow("one and a half blocks") << 1468 << qint64(2202) << big;
    QTest::newRow("past 65,535 blocks of 8 bytes")
        << 8 << qint64(65536) * 8 + 5 << QStringLiteral("options acked: blksize=8 windowsize=1");
}

// tftpd-hpa grants blksize and tsize; it has no windows, and leaves windowsize out of its answer.
void TestTftpdHpa::withOptions() {
    QFETCH(int, blksize);
    QFETCH(qint64, size);
    QFETCH(QString, granted);
    UploadFixture f;
    f.entry.RetransmitMs = 1000;
    f.entry.ServerPort = server->port();
    f.entry.RemoteFile = QStringLiteral("options-%1-%2.bin").arg(blksize).arg(size);
    f.entry.BlkSize = blksize;
    f.entry.WindowSize = 8;
    f.upload.Tracing = [&f] {
        return f.lines.size() < 10;
    };
    const QByteArray content = PatternBytes(size);
    f.setFile(content);
    QCOMPARE(f.run(120000), int(trCompleted));
    QVERIFY(f.trace().contains(granted));
    QFile stored(server->filePath(f.entry.RemoteFile));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll() == content);
}

void TestTftpdHpa::overIpv6_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("commandLine");
    // clang-format off
    QTest::newRow("bare")                      << "::1"             << false;
    QTest::newRow("in brackets")               << "[::1]"           << false;
    QTest::newRow("zanvel-send, with a port")  << "[::1]:%1"        << true;
    QTest::newRow("zanvel-send, saved entry")  << "::1"             << true;
    // clang-format on
}

void TestTftpdHpa::overIpv6() {
    QFETCH(QString, address);
    QFETCH(bool, commandLine);
    RealTftpServer v6(RealTftpServer::TftpdHpa, true, 0, true);
    SKIP_UNLESS_RUNNING(v6);
    UploadFixture f;
    f.entry.RetransmitMs = 1000;
    f.entry.ServerAddress = address;
    f.entry.ServerPort = v6.port();
    f.entry.RemoteFile = QStringLiteral("v6.bin");
    // Past a block boundary, so that the transfer port carries DATA too.
    const QByteArray content = PatternBytes(70000);
    f.setFile(content);
    if (!commandLine) {
        QCOMPARE(f.run(), int(trCompleted));
    } else {
        QStringList arguments{"--quiet"};
        if (address.contains(u'%')) {
            arguments << address.arg(v6.port()) << f.entry.LocalFile << f.entry.RemoteFile;
        } else {
            const QString store = f.dir.filePath(QStringLiteral("entrys.txt"));
            TEntryList entries;
            entries.Append(std::make_unique<TServerEntry>(f.entry));
            entries.Get(0)->EntryName = QStringLiteral("v6");
            SaveEntries(entries, store);
            arguments << "--store" << store << "v6";
        }
        QProcess send;
        send.start(QStringLiteral(ZANVEL_BINARY_DIR "/zanvel-send"), arguments);
        QVERIFY(send.waitForFinished(30000));
        QCOMPARE(send.exitCode(), 0);
        QCOMPARE(send.readAllStandardError(), QByteArray());
    }
    QFile stored(v6.filePath(QStringLiteral("v6.bin")));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll() == content);
}

QTEST_GUILESS_MAIN(TestTftpdHpa)
#include "tst_tftpdhpa.moc"
