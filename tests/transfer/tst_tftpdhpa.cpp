// Uploads to a real tftpd-hpa on a loopback port, compared byte for byte with what it stored.

#include "LoopbackSocket.h"
#include "UploadFixture.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <unistd.h>

class TestTftpdHpa : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void upload_data();
    void upload();

private:
    QTemporaryDir root;
    QProcess server;
    quint16 port = 0;
};

void TestTftpdHpa::initTestCase() {
    const QString program = QStandardPaths::findExecutable(
        QStringLiteral("in.tftpd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty()) {
        QSKIP("in.tftpd is not installed (Debian package tftpd-hpa; scripts/test installs it)");
    }
    if (geteuid() != 0) {
        QSKIP("in.tftpd must run as root here: it confines itself to its folder with chroot");
    }
    port = FreeUdpPort();
    server.setProgram(program);
    server.setArguments({"--foreground", "--create", "--secure", "--permissive", "--user", "root",
                         "--address", QStringLiteral("127.0.0.1:%1").arg(port), root.path()});
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start();
    QVERIFY2(server.waitForStarted(), qPrintable(server.errorString()));

    // Ready once it answers a read request for a file that is not there.
    LoopbackSocket probe;
    bool answered = false;
    for (int attempt = 0; attempt < 50 && !answered; ++attempt) {
        probe.sendTo(port, QByteArray("\0\1probe\0octet\0", 15));
        answered = probe.receive(100).has_value();
    }
    QVERIFY2(answered, "in.tftpd does not answer");
}

void TestTftpdHpa::cleanupTestCase() {
    if (server.state() != QProcess::NotRunning) {
        server.terminate(); // SIGTERM to its process id
        server.waitForFinished(5000);
    }
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
    UploadFixture f;
    f.form.Timer1->setInterval(1000);
    f.entry.ServerPort = port;
    f.entry.RemoteFile = QStringLiteral("upload-%1.bin").arg(size);
    QByteArray content(size, '\0');
    QRandomGenerator random{quint32(size)};
    random.fillRange(reinterpret_cast<quint32*>(content.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i) {
        content[i] = char(random.generate());
    }
    f.setFile(content);
    DebugForm = nullptr; // four trace lines per block are not what this test is about

    // 32 MiB take several seconds on a slow, busy machine; only a hang should fail here.
    QCOMPARE(f.run(120000), int(trCompleted));
    QFile stored(root.filePath(f.entry.RemoteFile));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    const QByteArray copy = stored.readAll();
    QCOMPARE(copy.size(), content.size());
    QVERIFY(copy == content);
}

QTEST_MAIN(TestTftpdHpa)
#include "tst_tftpdhpa.moc"
