// Devices that are not up yet, and devices slow to acknowledge the last block: the upload's
// wait for the first answer, its retries and its period, with the steps and periods shortened.

#include "support/LoopbackSocket.h"
#include "support/UploadFixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using Datagram = ScriptedTftpServer::Datagram;

namespace {

constexpr int StepMs = 40;

// Write requests the server received.
int Requests(const ScriptedTftpServer& server) {
    int requests = 0;
    for (const Datagram& d : server.received) {
        requests += d.isBlock(0) ? 1 : 0;
    }
    return requests;
}

} // namespace

class TestUploadWait : public QObject {
    Q_OBJECT

private slots:
    void deviceComingUp_data();
    void deviceComingUp();
    void serverStartedLate_data();
    void serverStartedLate();
    void unreachableUntilTheWaitEnds();
    void waitEndedByAbort();
    void waitLinesAndProgress();
    void slowLastAcknowledgement_data();
    void slowLastAcknowledgement();
    void entryPeriodIsUsed();
};

void TestUploadWait::deviceComingUp_data() {
    QTest::addColumn<int>("silentRequests"); // requests the device misses while it starts
    QTest::addColumn<int>("wait");           // the entry's wait, in steps
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("requests");
    // A device up after three steps is reached within a wait of ten.
    QTest::newRow("up after 3 of 10") << 3 << 10 << int(trCompleted) << 4;
    QTest::newRow("up at once") << 0 << 10 << int(trCompleted) << 1;
    // Never up within the wait: one request a step, then the time-out.
    QTest::newRow("never up") << 1000 << 5 << int(trTimeout) << 5;
    // Without a wait, five sends a period, as always.
    QTest::newRow("no wait, up too late") << 6 << 0 << int(trTimeout) << 5;
}

void TestUploadWait::deviceComingUp() {
    QFETCH(int, silentRequests);
    QFETCH(int, wait);
    QFETCH(int, result);
    QFETCH(int, requests);
    UploadFixture f;
    f.setFile(PatternBytes(1500));
    f.entry.WaitForTarget = wait;
    f.upload.SetWaitStepMs(StepMs);
    f.entry.RetransmitMs = StepMs;
    int missed = 0;
    f.server.script = [&](const Datagram& d) {
        if (d.isBlock(0) && missed < silentRequests) {
            ++missed;
            return;
        }
        f.server.acknowledgeNormally(d);
    };
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(f.run(), result);
    QCOMPARE(Requests(f.server), requests);
    if (result == trCompleted) {
        QCOMPARE(f.server.file(), PatternBytes(1500));
    } else if (wait > 0) {
        // The wait ends the upload, not the five sends of a period.
        QVERIFY(clock.elapsed() >= wait * StepMs);
        QVERIFY(!f.upload.AllDataSent());
    }
}

void TestUploadWait::serverStartedLate_data() {
    QTest::addColumn<QStringList>("addresses");
    QTest::newRow("one address") << QStringList{"127.0.0.1"};
    // Refused at both at first: the wait goes on asking both, not only the last.
    QTest::newRow("up at the first of two") << QStringList{"127.0.0.1", "127.0.0.2"};
    QTest::newRow("up at the second of two") << QStringList{"127.0.0.2", "127.0.0.1"};
}

void TestUploadWait::serverStartedLate() {
    // Nothing listens for three steps, and the system says so; then the server starts.
    QFETCH(QStringList, addresses);
    UploadFixture f;
    f.setFile(PatternBytes(1500));
    const quint16 port = FreeUdpPort();
    f.entry.ServerPort = port;
    f.entry.WaitForTarget = 10;
    f.upload.SetWaitStepMs(StepMs);
    f.nameResolvesTo(addresses);
    std::unique_ptr<ScriptedTftpServer> late;
    QTimer::singleShot(3 * StepMs + StepMs / 2,
                       [&] { late = std::make_unique<ScriptedTftpServer>(port); });
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(late->file(), PatternBytes(1500));
    QVERIFY(f.trace().contains("socket error: port unreachable"));
}

void TestUploadWait::unreachableUntilTheWaitEnds() {
    // Nothing listens: each request comes back as "port unreachable", which ends an upload at
    // its last send, but not one that waits for its device.
    UploadFixture f;
    f.setFile(PatternBytes(100));
    f.entry.ServerPort = FreeUdpPort();
    f.entry.WaitForTarget = 4;
    f.upload.SetWaitStepMs(StepMs);
    QCOMPARE(f.run(), int(trTimeout));
    QVERIFY(f.trace().contains("socket error: port unreachable"));
    QCOMPARE(f.trace().filter("waiting for the server").size(), 3);

    UploadFixture plain;
    plain.setFile(PatternBytes(100));
    plain.entry.ServerPort = FreeUdpPort();
    plain.upload.SetWaitStepMs(StepMs);
    QCOMPARE(plain.run(), int(trSocketError));
}

void TestUploadWait::waitEndedByAbort() {
    UploadFixture f;
    f.setFile(PatternBytes(100));
    f.entry.WaitForTarget = 1000;
    f.upload.SetWaitStepMs(StepMs);
    f.server.script = [](const Datagram&) {
    };
    QElapsedTimer clock;
    QTimer::singleShot(3 * StepMs, [&] {
        clock.start();
        f.upload.Abort();
    });
    QCOMPARE(f.run(), int(trAborted));
    QVERIFY(clock.elapsed() < StepMs);
    QVERIFY(!f.upload.Timer1->isActive());
}

void TestUploadWait::waitLinesAndProgress() {
    UploadFixture f;
    f.setFile(PatternBytes(1500));
    f.entry.WaitForTarget = 5;
    f.upload.SetWaitStepMs(StepMs);
    QList<int> left;
    f.upload.OnWait = [&](int secondsLeft) {
        left.append(secondsLeft);
        // Nothing is acknowledged while the device is waited for.
        QCOMPARE(f.progress, QList<qint64>());
    };
    int missed = 0;
    f.server.script = [&](const Datagram& d) {
        if (d.isBlock(0) && missed++ < 2) {
            return;
        }
        f.server.acknowledgeNormally(d);
    };
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(left, (QList<int>{5, 4, 3}));
    QCOMPARE(
        f.trace().filter("waiting for the server").mid(0, 2),
        (QStringList{"waiting for the server (4 s left)", "waiting for the server (3 s left)"}));
}

void TestUploadWait::slowLastAcknowledgement_data() {
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("allDataSent");
    // The device acknowledges the last block after eight periods, at its ninth copy.
    QTest::newRow("retries=12") << 12 << int(trCompleted) << false;
    QTest::newRow("five sends") << 0 << int(trTimeout) << true;
    QTest::newRow("retries=9: the ninth send is the last") << 9 << int(trCompleted) << false;
    QTest::newRow("retries=8") << 8 << int(trTimeout) << true;
}

void TestUploadWait::slowLastAcknowledgement() {
    QFETCH(int, retries);
    QFETCH(int, result);
    QFETCH(bool, allDataSent);
    UploadFixture f;
    f.setFile(PatternBytes(1500));
    f.entry.Retries = retries;
    f.entry.RetransmitMs = StepMs;
    int copies = 0;
    f.server.script = [&](const Datagram& d) {
        if (d.isBlock(3) && ++copies < 9) {
            return;
        }
        f.server.acknowledgeNormally(d);
    };
    QCOMPARE(f.run(), result);
    QCOMPARE(f.upload.AllDataSent(), allDataSent);
    QCOMPARE(copies, qMin(9, retries > 0 ? retries : 5));
}

void TestUploadWait::entryPeriodIsUsed() {
    // A block lost once is sent again after the entry's period, not the upload's own.
    UploadFixture f;
    f.setFile(PatternBytes(600));
    f.entry.RetransmitMs = 150;
    f.server.onceAtBlock(2, [](const Datagram&) {});
    QCOMPARE(f.run(), int(trCompleted));
    const QList<Datagram>& r = f.server.received;
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 2}));
    const qint64 gap = r.last().atMs - r[r.size() - 2].atMs;
    QVERIFY2(gap >= 150 && gap < 1000, qPrintable(QString::number(gap)));
}

QTEST_GUILESS_MAIN(TestUploadWait)
#include "tst_uploadwait.moc"
