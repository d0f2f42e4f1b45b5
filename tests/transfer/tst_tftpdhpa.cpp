// Uploads to a real tftpd-hpa on a loopback port, compared byte for byte with what it stored.

#include "support/RealTftpServer.h"
#include "support/UploadFixture.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

class TestTftpdHpa : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void upload_data();
    void upload();

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
    f.upload.Timer1->setInterval(1000);
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

QTEST_GUILESS_MAIN(TestTftpdHpa)
#include "tst_tftpdhpa.moc"
