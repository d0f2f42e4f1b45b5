// Uploads through a bad network to real servers, compared byte for byte with what they stored.

#include "support/LossyRelay.h"
#include "support/RealTftpServer.h"
#include "support/UploadFixture.h"

#include <QFile>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(RealTftpServer::Kind)

class TestLossy : public QObject {
    Q_OBJECT

private slots:
    void arrivesIntact_data();
    void arrivesIntact();
    void optionsArriveIntact_data();
    void optionsArriveIntact();
    void serverRepeatRecoversLostBlock_data();
    void serverRepeatRecoversLostBlock();
    void copiedRequestIsOneUpload_data();
    void copiedRequestIsOneUpload();
    void duplicatesDoNotMultiply_data();
    void duplicatesDoNotMultiply();
    void totalLossTimesOutAfterFiveSends_data();
    void totalLossTimesOutAfterFiveSends();
    void refusedCreateIsBadPacket();
    void serverKilledMidwayTimesOut();
};

namespace {

// A lost acknowledgement is made good by a resend: the upload's own after Timer1's period, which
// either server acknowledges again, or the server's repeat of its last acknowledgement on its own
// time-out (a second for tftpd-hpa, five by default for atftpd). The periods are shortened to
// keep the runs quick; atftpd gets the longer one, which its uploads need to come through at
// these loss rates.
int TimerMs(RealTftpServer::Kind kind) {
    return kind == RealTftpServer::Atftpd ? 700 : 300;
}

void Prepare(UploadFixture& f, const LossyRelay& relay, qint64 size, const QString& remote,
             RealTftpServer::Kind kind = RealTftpServer::TftpdHpa) {
    f.entry.RetransmitMs = TimerMs(kind);
    f.entry.ServerPort = relay.port();
    f.entry.RemoteFile = remote;
    f.setFile(PatternBytes(size));
}

QByteArray Stored(const RealTftpServer& server, const QString& remote) {
    QFile file(server.filePath(remote));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether the server stored exactly what was sent; if not, says where the two part and what went
// over the network. atftpd sends its last acknowledgement before it closes the file, whose
// buffered tail reaches the disk only then, so the comparison waits for the server to finish.
bool StoredIntact(const RealTftpServer& server, const QString& remote, const QByteArray& sent,
                  const LossyRelay& relay) {
    if (QTest::qWaitFor([&] { return Stored(server, remote) == sent; }, 5000)) {
        return true;
    }
    const QByteArray stored = Stored(server, remote);
    const auto parted = std::mismatch(stored.cbegin(), stored.cend(), sent.cbegin(), sent.cend());
    qInfo("stored %lld bytes of %lld, the same up to byte %lld; the network saw:",
          qlonglong(stored.size()), qlonglong(sent.size()),
          qlonglong(parted.first - stored.cbegin()));
    for (const QString& line : relay.record) {
        qInfo("  %s", qPrintable(line));
    }
    return false;
}

} // namespace

void TestLossy::arrivesIntact_data() {
    QTest::addColumn<RealTftpServer::Kind>("kind");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<double>("loss");
    for (const auto& [name, kind] : {std::pair{"tftpd-hpa", RealTftpServer::TftpdHpa},
                                     std::pair{"atftpd", RealTftpServer::Atftpd}}) {
        for (const qint64 size : {1, 512, 1024, 200 * 1024}) {
            // atftpd gives a transfer up for good once one of its acknowledgements is lost in
            // the middle of a long one: the 200 KiB upload to it goes without losses.
            const double loss = kind == RealTftpServer::Atftpd && size > 1024 ? 0 : 0.10;
            QTest::addRow("%s, %lld bytes", name, size) << kind << size << loss;
        }
    }
}

void TestLossy::arrivesIntact() {
    QFETCH(RealTftpServer::Kind, kind);
    QFETCH(qint64, size);
    QFETCH(double, loss);
    RealTftpServer server(kind);
    SKIP_UNLESS_RUNNING(server);
    LossyRelay relay(server.port(), {loss, 0.05, 0.05, 0.10, 300, true}, quint32(size));
    UploadFixture f;
    const QString remote = QStringLiteral("lossy-%1.bin").arg(size);
    Prepare(f, relay, size, remote, kind);
    const int result = f.run(120000);
    if (result != trCompleted) {
        qInfo("trace: %s", qPrintable(f.trace().mid(f.trace().size() - 12).join(" | ")));
    }
    QCOMPARE(result, int(trCompleted));
    QVERIFY(StoredIntact(server, remote, PatternBytes(size), relay));
    const int blocks = int(size / 512 + 1);
    qInfo("%d blocks: %d datagrams sent, %.2f a block; %d DATA packets for them, %.2f a block",
          blocks, relay.fromClient, double(relay.fromClient) / blocks, relay.dataFromClient,
          double(relay.dataFromClient) / blocks);
    // A block goes out once, again for a repeat the server sent and once more per time-out (one
    // for each loss): never a storm.
    QVERIFY(relay.dataFromClient <= blocks * 5 / 2 + 5);
}

void TestLossy::optionsArriveIntact_data() {
    QTest::addColumn<RealTftpServer::Kind>("kind");
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("harmed");
    // tftpd-hpa has no windows and answers without windowsize: its uploads go in lock-step.
    for (const auto& [name, kind] : {std::pair{"tftpd-hpa", RealTftpServer::TftpdHpa},
                                     std::pair{"atftpd", RealTftpServer::Atftpd}}) {
        for (const qint64 size : {734, 1468, 2202}) {
            QTest::addRow("%s, blksize 1468, window 8, %lld bytes", name, size)
                << kind << 1468 << 8 << size << true;
        }
        // Unharmed: atftpd cannot have its acknowledgements lost in a long upload, and delays
        // of a tenth of 65,541 round trips would take half an hour.
        QTest::addRow("%s, 65,541 blocks of 8 bytes, window 16", name)
            << kind << 8 << 16 << qint64(65540) * 8 + 3 << false;
    }
}

void TestLossy::optionsArriveIntact() {
    QFETCH(RealTftpServer::Kind, kind);
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    QFETCH(qint64, size);
    QFETCH(bool, harmed);
    RealTftpServer server(kind);
    SKIP_UNLESS_RUNNING(server);
    const LossyRelay::Rates rates =
        harmed ? LossyRelay::Rates{0.10, 0.05, 0.05, 0.10, 300, true} : LossyRelay::Rates{};
    LossyRelay relay(server.port(), rates, quint32(size));
    relay.blockSize = blksize;
    UploadFixture f(false);
    const QString remote = QStringLiteral("options-%1-%2.bin").arg(blksize).arg(size);
    Prepare(f, relay, size, remote, kind);
    f.entry.BlkSize = blksize;
    f.entry.WindowSize = windowsize;
    QCOMPARE(f.run(120000), int(trCompleted));
    QVERIFY(StoredIntact(server, remote, PatternBytes(size), relay));
}

void TestLossy::serverRepeatRecoversLostBlock_data() {
    QTest::addColumn<RealTftpServer::Kind>("kind");
    QTest::addColumn<int>("serverRetransmitMs");
    QTest::newRow("tftpd-hpa") << RealTftpServer::TftpdHpa << 500;
    QTest::newRow("atftpd") << RealTftpServer::Atftpd << 1000;
}

void TestLossy::serverRepeatRecoversLostBlock() {
    QFETCH(RealTftpServer::Kind, kind);
    QFETCH(int, serverRetransmitMs);
    RealTftpServer server(kind, true, serverRetransmitMs);
    SKIP_UNLESS_RUNNING(server);
    LossyRelay relay(server.port(), {});
    // Block 2 is lost on its first two ways to the server.
    int block2Sends = 0;
    relay.copies = [&](const QByteArray& bytes, bool toServer) {
        const bool block2 = toServer && bytes.startsWith(QByteArray("\0\3\0\2", 4));
        return block2 && ++block2Sends <= 2 ? 0 : 1;
    };
    UploadFixture f;
    Prepare(f, relay, 49 * 512 - 100, QStringLiteral("repeat.bin"), kind);
    f.entry.RetransmitMs = 3 * serverRetransmitMs;
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(block2Sends, 3);
    // The server's own repeats brought block 2 through, before any time-out of the upload.
    QCOMPARE(f.trace().filter("timeout!"), QStringList());
    QVERIFY(
        StoredIntact(server, QStringLiteral("repeat.bin"), PatternBytes(49 * 512 - 100), relay));
}

void TestLossy::copiedRequestIsOneUpload_data() {
    QTest::addColumn<RealTftpServer::Kind>("kind");
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    // tftpd-hpa takes no copy of a request whose transfer runs; atftpd starts a second transfer
    // for it, which it abandons when told it is unknown, leaving the file alone.
    QTest::newRow("tftpd-hpa") << RealTftpServer::TftpdHpa << 0 << 0;
    QTest::newRow("atftpd") << RealTftpServer::Atftpd << 0 << 0;
    QTest::newRow("atftpd, blksize 1468, window 16") << RealTftpServer::Atftpd << 1468 << 16;
}

void TestLossy::copiedRequestIsOneUpload() {
    QFETCH(RealTftpServer::Kind, kind);
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    RealTftpServer server(kind);
    SKIP_UNLESS_RUNNING(server);
    // The write request arrives twice: the upload goes on with the transfer that answered
    // first.
    LossyRelay relay(server.port(), {});
    relay.copies = [](const QByteArray& bytes, bool toServer) {
        return toServer && bytes.startsWith(QByteArray("\0\2", 2)) ? 2 : 1;
    };
    if (blksize > 0) {
        relay.blockSize = blksize;
    }
    UploadFixture f;
    const qint64 size = 1024 * 1024;
    const QString remote = QStringLiteral("copied-request-%1.bin").arg(blksize);
    Prepare(f, relay, size, remote, kind);
    f.entry.BlkSize = blksize;
    f.entry.WindowSize = windowsize;
    QCOMPARE(f.run(), int(trCompleted));
    QVERIFY(StoredIntact(server, remote, PatternBytes(size), relay));
    QCOMPARE(f.trace().filter("timeout!"), QStringList());
    QCOMPARE(f.trace().filter("unknown transfer ID").size(),
             kind == RealTftpServer::Atftpd ? 1 : 0);
}

void TestLossy::duplicatesDoNotMultiply_data() {
    QTest::addColumn<RealTftpServer::Kind>("kind");
    QTest::addColumn<qint64>("size");
    for (const auto& [name, kind] : {std::pair{"tftpd-hpa", RealTftpServer::TftpdHpa},
                                     std::pair{"atftpd", RealTftpServer::Atftpd}}) {
        for (const qint64 size : {64 * 1024, 1024 * 1024}) {
            QTest::addRow("%s, %lld bytes", name, size) << kind << size;
        }
    }
}

void TestLossy::duplicatesDoNotMultiply() {
    QFETCH(RealTftpServer::Kind, kind);
    QFETCH(qint64, size);
    RealTftpServer server(kind);
    SKIP_UNLESS_RUNNING(server);
    // One datagram in twenty arrives twice, both ways.
    LossyRelay relay(server.port(), {0, 0.05, 0, 0, 0, true}, quint32(size));
    UploadFixture f;
    const QString remote = QStringLiteral("copies-%1.bin").arg(size);
    Prepare(f, relay, size, remote, kind);
    f.entry.RetransmitMs = 3000;
    QCOMPARE(f.run(), int(trCompleted));
    QVERIFY(StoredIntact(server, remote, PatternBytes(size), relay));
    const int blocks = int(size / 512 + 1);
    qInfo("%d blocks, %d DATA packets: %.3f a block", blocks, relay.dataFromClient,
          double(relay.dataFromClient) / blocks);
    QVERIFY(relay.dataFromClient * 10 <= blocks * 11);
}

void TestLossy::totalLossTimesOutAfterFiveSends_data() {
    QTest::addColumn<RealTftpServer::Kind>("kind");
    QTest::addColumn<int>("cutAfterBlock");
    QTest::newRow("tftpd-hpa, from the start") << RealTftpServer::TftpdHpa << 0;
    QTest::newRow("tftpd-hpa, after block 3") << RealTftpServer::TftpdHpa << 3;
    QTest::newRow("atftpd, after block 3") << RealTftpServer::Atftpd << 3;
}

void TestLossy::totalLossTimesOutAfterFiveSends() {
    QFETCH(RealTftpServer::Kind, kind);
    QFETCH(int, cutAfterBlock);
    RealTftpServer server(kind);
    SKIP_UNLESS_RUNNING(server);
    LossyRelay relay(server.port(), {});
    relay.cutAfterBlock = cutAfterBlock;
    relay.rates.loss = cutAfterBlock == 0 ? 1 : 0;
    UploadFixture f;
    Prepare(f, relay, 5000, QStringLiteral("lost.bin"), kind);
    QCOMPARE(f.run(), int(trTimeout));
    // The last packet went out five times in all: once before the network died, four resends.
    if (cutAfterBlock == 0) {
        QCOMPARE(relay.fromClient, 5);
    } else {
        QCOMPARE(relay.sentAfterCut, 4);
        QCOMPARE(relay.lastBlock, cutAfterBlock);
    }
}

void TestLossy::refusedCreateIsBadPacket() {
    RealTftpServer server(RealTftpServer::TftpdHpa, false);
    SKIP_UNLESS_RUNNING(server);
    LossyRelay relay(server.port(), {});
    UploadFixture f;
    Prepare(f, relay, 100, QStringLiteral("new.bin"));
    QCOMPARE(f.run(), int(trBadPacket));
    QVERIFY(!QFile::exists(server.filePath(QStringLiteral("new.bin"))));
}

void TestLossy::serverKilledMidwayTimesOut() {
    RealTftpServer server(RealTftpServer::TftpdHpa);
    SKIP_UNLESS_RUNNING(server);
    LossyRelay relay(server.port(), {});
    UploadFixture f;
    Prepare(f, relay, 200 * 1024, QStringLiteral("killed.bin"));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (relay.lastBlock >= 10) {
            poll.stop();
            server.kill();
        }
    });
    poll.start(0);
    QCOMPARE(f.run(), int(trTimeout));
    QVERIFY(relay.lastBlock < 400);
}

QTEST_GUILESS_MAIN(TestLossy)
#include "tst_lossy.moc"
