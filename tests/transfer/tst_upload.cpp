#include "net/HostLookup.h"
#include "net/Udp.h"
#include "support/LoopbackSocket.h"
#include "support/UploadFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>
#include <future>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

using Datagram = ScriptedTftpServer::Datagram;

namespace {

// When one packet went out, in ms from its first send: the trace line first marks that, each
// "timeout!" line a resend; both are written right before the packet goes out.
struct SendTimes {
    SendTimes(UploadFixture& f, const QString& first) {
        f.onTraceLine = [this, first](const QString& line) {
            if (line == first) {
                clock.start();
            }
            if (line == first || line.startsWith("timeout!")) {
                atMs.append(clock.nsecsElapsed() / 1000000);
            }
        };
    }
    qint64 nowMs() const { return clock.nsecsElapsed() / 1000000; }

    QElapsedTimer clock;
    QList<qint64> atMs;
};

// Five sends in all, none early: resend k at least k periods after the first send, the end at
// least five.
void VerifyFiveSendsNeverEarly(const SendTimes& sends, qint64 endedAtMs, qint64 period) {
    QCOMPARE(sends.atMs.size(), 5);
    for (qsizetype k = 1; k < sends.atMs.size(); ++k) {
        QVERIFY2(sends.atMs[k] >= k * period, qPrintable(QString::number(sends.atMs[k])));
    }
    QVERIFY2(endedAtMs >= 5 * period, qPrintable(QString::number(endedAtMs)));
}

// An upload of 49 blocks, the last one short.
constexpr int ScriptedUploadBlocks = 49;
constexpr qsizetype ScriptedUploadBytes = (ScriptedUploadBlocks - 1) * 512 + 100;

} // namespace

class TestUpload : public QObject {
    Q_OBJECT

private slots:
    void timersAsDesigned();
    void oneByteFileExchange();
    void blockBoundaries_data();
    void blockBoundaries();
    void traceOfTwoBlockUpload();
    void unusableLocalFile_data();
    void unusableLocalFile();
    void lookupThatCannotStartFailsAlone();
    void progressEvery32Blocks();
    void answersAwaitedAwake_data();
    void answersAwaitedAwake();
    void dataFollowsServerTransferPort();
    void serverRepeatsResendEveryTime_data();
    void serverRepeatsResendEveryTime();
    void longLinkCopiesSendNothing_data();
    void longLinkCopiesSendNothing();
    void networkCopiesOfAcksSendNothing_data();
    void networkCopiesOfAcksSendNothing();
    void copyOfAckLeavesTimeoutAlone();
    void ackZeroAgainFromServer();
    void strangersChangeNothing_data();
    void strangersChangeNothing();
    void unreachableHostIsALostPacket_data();
    void unreachableHostIsALostPacket();
    void firstAnswerFromAnotherAddress();
    void errorPackets_data();
    void errorPackets();
    void silentServerTimesOut();
    void hostNotFoundThenGoodUpload();
    void nextUploadStartsAfresh_data();
    void nextUploadStartsAfresh();
    void callbacksMayEndStartOrDelete_data();
    void callbacksMayEndStartOrDelete();
    void abortStopsEverything();
    void endsOnce_data();
    void endsOnce();
    void abortBeforeStartEnds();
    void unknownDatagramsDoNotStallRetransmission();
    void entriesTheRequestCannotCarry();
    void fileShrinksWhileSent();
    void nameNotFound_data();
    void nameNotFound();
    void abortWhileNameIsLookedUp();
    void nextAddressWhenPortUnreachable_data();
    void nextAddressWhenPortUnreachable();
    void portOpensAMomentLater_data();
    void portOpensAMomentLater();
    void failedSendEndsAtOnce();
};

void TestUpload::timersAsDesigned() {
    const TUpload upload;
    QCOMPARE(upload.Timer1->interval(), 5000);
}

void TestUpload::oneByteFileExchange() {
    UploadFixture f;
    f.entry.RemoteFile = QStringLiteral("abc");
    f.setFile("\x5A");
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.received.size(), 2);
    QCOMPARE(f.server.received[0].bytes, QByteArray::fromHex("0002616263006F6374657400"));
    QVERIFY(!f.server.received[0].toTransferPort);
    QCOMPARE(f.server.received[1].bytes, QByteArray::fromHex("000300015A"));
    QVERIFY(f.server.received[1].toTransferPort);
    QCOMPARE(f.progress, (QList<qint64>{0, 1}));
}

void TestUpload::blockBoundaries_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<quint16>>("blocks");
    QTest::addColumn<int>("lastLength");
    QTest::newRow("511") << 511 << QList<quint16>{1} << 515;
    QTest::newRow("512") << 512 << QList<quint16>{1, 2} << 4;
    QTest::newRow("1024") << 1024 << QList<quint16>{1, 2, 3} << 4;
    QTest::newRow("1025") << 1025 << QList<quint16>{1, 2, 3} << 5;
}

void TestUpload::blockBoundaries() {
    QFETCH(int, size);
    QFETCH(QList<quint16>, blocks);
    QFETCH(int, lastLength);
    UploadFixture f;
    const QByteArray content = PatternBytes(size);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), blocks);
    QCOMPARE(f.server.received.last().bytes.size(), lastLength);
    QCOMPARE(f.server.file(), content);
}

void TestUpload::traceOfTwoBlockUpload() {
    UploadFixture f;
    f.setFile(PatternBytes(600));
    QCOMPARE(f.run(), int(trCompleted));
    const QStringList expected{
        "file opened",
        "make WQR packet",
        "  ack recved(block#0)",
        "make data packet block#1",
        "will Send Data packet. block=1",
        "  ack recved(block#1)",
        "make data packet block#2",
        "will Send Data packet. block=2",
        "  ack recved(block#2)",
    };
    QCOMPARE(f.trace(), expected);
}

void TestUpload::unusableLocalFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("trace");
    QTest::newRow("empty file") << "local.bin" << QStringList{"file opened"};
    QTest::newRow("missing file") << "missing.bin" << QStringList();
    QTest::newRow("folder") << "." << QStringList();
    // A file whose size says more than it gives: the rest is not sent as zeros.
    QTest::newRow("size that lies")
        << "/sys/class/net/lo/address"
        << QStringList{"file opened", "size error! filesize=4096 readlen=18"};
}

void TestUpload::unusableLocalFile() {
    QFETCH(QString, name);
    QFETCH(QStringList, trace);
    UploadFixture f;
    f.setFile(QByteArray());
    f.entry.LocalFile = QDir(f.dir.path()).filePath(name);
    if (name.startsWith(u'/') && QFileInfo(name).size() != 4096) {
        QSKIP("no loopback device in /sys");
    }
    QCOMPARE(f.run(), int(trFileOpenError));
    QCOMPARE(f.trace(), trace);
    f.server.drain();
    QVERIFY(f.server.received.isEmpty());
    QVERIFY(!f.upload.Udp1->IsOpen());
}

void TestUpload::lookupThatCannotStartFailsAlone() {
    UploadFixture f;
    f.setFile(PatternBytes(700));
    f.nameResolvesTo({QStringLiteral("127.0.0.1")});
    // Once with descriptors to spare, which also lets a sanitizer learn the look-up's types
    // while it can still open what it needs to check them.
    QCOMPARE(f.run(), int(trCompleted));
    // One descriptor left, too few for the look-up's pipe: the name is not looked up here
    // instead, which would hold up everything else for as long as the name servers take.
    f.server.received.clear();
    rlimit limit{};
    QVERIFY(getrlimit(RLIMIT_NOFILE, &limit) == 0);
    const int lowest = dup(0);
    QVERIFY(lowest >= 0);
    close(lowest);
    rlimit tight = limit;
    tight.rlim_cur = rlim_t(lowest) + 1;
    QVERIFY(setrlimit(RLIMIT_NOFILE, &tight) == 0);
    QList<TransferResult> ends;
    f.upload.OnEnd = [&](TransferResult result) {
        ends.append(result);
    };
    f.upload.Start(f.entry);
    const bool toldAtOnce = !ends.isEmpty();
    QVERIFY(setrlimit(RLIMIT_NOFILE, &limit) == 0);
    QVERIFY(!toldAtOnce);
    QTRY_COMPARE(ends, QList<TransferResult>{trSocketCreateError});
    QVERIFY2(f.upload.FailureText().startsWith(QStringLiteral("cannot look up device.example: ")),
             qPrintable(f.upload.FailureText()));
    f.server.drain();
    QVERIFY(f.server.received.isEmpty());
}

void TestUpload::progressEvery32Blocks() {
    UploadFixture f;
    f.setFile(PatternBytes(51200));
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.progress, (QList<qint64>{0, 32 * 512, 64 * 512, 96 * 512, 51200}));
    QCOMPARE(f.server.dataBlocks().size(), 101);
}

void TestUpload::answersAwaitedAwake_data() {
    QTest::addColumn<int>("answerDelayMs");
    QTest::addColumn<int>("mostWaitsInVain");
    // The scripted server answers on this thread, so never while the upload waits awake: the
    // upload soon stops waiting, instead of spending that wait on every block. (On a slow or
    // busy machine, its answers may come too late to be waited for at all.)
    QTest::newRow("at once, on the same thread") << 0 << 3;
    // A slow answer is not waited for.
    QTest::newRow("after 1 ms") << 1 << 0;
}

void TestUpload::answersAwaitedAwake() {
    QFETCH(int, answerDelayMs);
    QFETCH(int, mostWaitsInVain);
    UploadFixture f;
    f.server.script = [&](const Datagram& d) {
        f.server.answer(ScriptedTftpServer::ack(d.opcode() == 2 ? 0 : d.number()), answerDelayMs);
    };
    const QByteArray content = PatternBytes(100 * 512);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), content);
    QVERIFY2(f.upload.WaitsInVain() <= mostWaitsInVain,
             qPrintable(QString::number(f.upload.WaitsInVain())));
}

void TestUpload::dataFollowsServerTransferPort() {
    UploadFixture f;
    f.entry.RetransmitMs = 200;
    // A lost acknowledgement: block 2 must come again, to the same port.
    f.server.onceAtBlock(2, [](const Datagram&) {});
    f.setFile(PatternBytes(1500));
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 2, 3}));
    for (const Datagram& d : f.server.received.mid(1)) {
        QVERIFY(d.toTransferPort);
    }
    QVERIFY(f.trace().contains("timeout! resend packet(1times)"));
}

void TestUpload::serverRepeatsResendEveryTime_data() {
    QTest::addColumn<int>("repeatMs");
    QTest::addColumn<int>("periodMs");
    QTest::newRow("every 500 ms") << 500 << 2000;
    // busybox's tftpd, well within the upload's own period.
    QTest::newRow("every 100 ms") << 100 << 5000;
}

void TestUpload::serverRepeatsResendEveryTime() {
    // A server that waits for the next block in vain sends its last acknowledgement again
    // (five tries); DATA 2 is lost on the way twice.
    QFETCH(int, repeatMs);
    QFETCH(int, periodMs);
    UploadFixture f;
    f.entry.RetransmitMs = periodMs;
    int lost = 0;
    int expected = 1;
    QTimer repeat;
    repeat.setTimerType(Qt::PreciseTimer);
    int repeats = 0;
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        if (++repeats > 5) {
            repeat.stop();
            return;
        }
        f.server.answer(ScriptedTftpServer::ack(quint16(expected - 1)));
    });
    f.server.script = [&](const Datagram& d) {
        if (d.isBlock(2) && lost < 2) {
            ++lost;
            return;
        }
        if (d.opcode() == 2 || d.isBlock(quint16(expected))) {
            f.server.acknowledgeNormally(d);
            expected = d.opcode() == 2 ? 1 : expected + 1;
            repeats = 0;
            repeat.start(repeatMs);
        }
    };
    const QByteArray content = PatternBytes(ScriptedUploadBytes);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), content);
    // Each repeat made block 2 go out again at once: no time-out was needed.
    QCOMPARE(f.server.dataBlocks().count(2), 3);
    QCOMPARE(f.server.dataBlocks().size(), ScriptedUploadBlocks + 2);
    QCOMPARE(f.trace().filter("timeout!"), QStringList());
    QCOMPARE(f.trace().count("??? ack blockno=1, but I expected 2"), 2);
}

void TestUpload::longLinkCopiesSendNothing_data() {
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<quint16>("heldBlock"); // 0: none
    QTest::addColumn<bool>("copied");
    QTest::addColumn<int>("resends");
    // A link with a 30 ms round trip. The answer held past the period comes after the answer
    // to the time-out's resend, a period after the copies' guard of old would have ended.
    QTest::newRow("one acknowledgement held past the period") << 100 << quint16(3) << false << 1;
    QTest::newRow("every acknowledgement copied up to one and a half round trips later")
        << 100 << quint16(0) << true << 0;
}

void TestUpload::longLinkCopiesSendNothing() {
    constexpr int RoundTripMs = 30;
    QFETCH(int, periodMs);
    QFETCH(quint16, heldBlock);
    QFETCH(bool, copied);
    QFETCH(int, resends);
    UploadFixture f;
    f.entry.RetransmitMs = periodMs;
    bool held = false;
    f.server.script = [&](const Datagram& d) {
        const quint16 block = d.opcode() == 2 ? 0 : d.number();
        const bool hold = block == heldBlock && block != 0 && !held;
        held = held || hold;
        f.server.answer(ScriptedTftpServer::ack(block), hold ? 3 * periodMs / 2 : RoundTripMs);
        if (copied) {
            f.server.answer(ScriptedTftpServer::ack(block), RoundTripMs + block * 7 % 46);
        }
    };
    constexpr int Blocks = 20;
    const QByteArray content = PatternBytes((Blocks - 1) * 512 + 100);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), content);
    QCOMPARE(f.server.dataBlocks().size(), Blocks + resends);
}

void TestUpload::networkCopiesOfAcksSendNothing_data() {
    QTest::addColumn<QList<quint16>>("copied");
    QTest::addColumn<int>("periodMs"); // 0: the upload's own
    QTest::newRow("acks 3 and 20") << QList<quint16>{3, 20} << 0;
    QTest::newRow("ack 0") << QList<quint16>{0} << 0;
    QTest::newRow("every ack") << QList<quint16>{} << 0;
    // Long after the upload began: the guard follows each packet's own send, not the start.
    QTest::newRow("late in the upload") << QList<quint16>{20, 30} << 200;
}

void TestUpload::networkCopiesOfAcksSendNothing() {
    QFETCH(QList<quint16>, copied);
    QFETCH(int, periodMs);
    UploadFixture f;
    if (periodMs > 0) {
        f.entry.RetransmitMs = periodMs;
    }
    f.server.script = [&](const Datagram& d) {
        const quint16 block = d.opcode() == 2 ? 0 : d.number();
        // The first answer comes half a period late.
        f.server.answer(ScriptedTftpServer::ack(block), block == 0 ? periodMs / 2 : 0);
        if (copied.isEmpty() || copied.contains(block)) {
            f.server.answer(ScriptedTftpServer::ack(block), block == 0 ? periodMs / 2 : 0);
        }
    };
    const QByteArray content = PatternBytes(ScriptedUploadBytes);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), content);
    QCOMPARE(f.server.dataBlocks().size(), ScriptedUploadBlocks);
}

void TestUpload::copyOfAckLeavesTimeoutAlone() {
    constexpr qint64 Period = 300;
    UploadFixture f;
    f.entry.RetransmitMs = Period;
    // Acknowledgement 0 arrives twice, then the server falls silent.
    f.server.script = [&](const Datagram& d) {
        if (d.opcode() == 2) {
            f.server.answer(ScriptedTftpServer::ack(0));
            f.server.answer(ScriptedTftpServer::ack(0));
        }
    };
    SendTimes sends(f, QStringLiteral("will Send Data packet. block=1"));
    f.setFile(PatternBytes(1000));
    QCOMPARE(f.run(), int(trTimeout));
    // Block 1 goes out five times in all, timed from its first send, as with a silent server.
    VerifyFiveSendsNeverEarly(sends, sends.nowMs(), Period);
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 1, 1, 1, 1}));
}

void TestUpload::ackZeroAgainFromServer() {
    UploadFixture f;
    f.entry.RetransmitMs = 2000;
    // DATA 1 is lost: the server repeats acknowledgement 0 from its transfer port, after its own
    // time-out.
    f.server.onceAtBlock(
        1, [&](const Datagram&) { f.server.answer(ScriptedTftpServer::ack(0), 300); });
    const QByteArray content = PatternBytes(700);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 1, 2}));
    QVERIFY(f.trace().contains("??? ack blockno=0, but I expected 1"));
    QCOMPARE(f.trace().filter("timeout!"), QStringList());
    QCOMPARE(f.server.file(), content);
}

void TestUpload::strangersChangeNothing_data() {
    QTest::addColumn<QByteArray>("strangerAddress");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("closes"); // the stranger's port closes before the refusal comes
    const QByteArray here = "127.0.0.1";
    // A second transfer the server started for a copy of the request.
    QTest::newRow("ack 0 from another port") << here << ScriptedTftpServer::ack(0) << true << false;
    QTest::newRow("ack of the lost block from another port")
        << here << ScriptedTftpServer::ack(2) << true << false;
    QTest::newRow("ack of the lost block from another address")
        << QByteArray("127.0.0.2") << ScriptedTftpServer::ack(2) << true << false;
    QTest::newRow("oack from another port") << here << QByteArray("\0\6", 2) << true << false;
    // An error is never answered: two endpoints would answer each other's for ever.
    QTest::newRow("error from another port")
        << here << ScriptedTftpServer::error(0, "go away") << false << false;
    // The refusal comes back as "port unreachable", about the stranger and not the server.
    QTest::newRow("ack from a port that closes")
        << here << ScriptedTftpServer::ack(2) << true << true;
}

void TestUpload::strangersChangeNothing() {
    QFETCH(QByteArray, strangerAddress);
    QFETCH(QByteArray, datagram);
    QFETCH(bool, refused);
    QFETCH(bool, closes);
    UploadFixture f;
    f.entry.RetransmitMs = 100;
    std::optional<LoopbackSocket> stranger(std::in_place, strangerAddress.constData());
    const quint16 strangerPort = stranger->port();
    // Block 2 is lost; a stranger speaks instead, and the time-out brings block 2 through.
    f.server.onceAtBlock(2, [&](const Datagram&) {
        stranger->sendTo(f.server.client(), datagram);
        if (closes) {
            stranger.reset();
        }
    });
    const QByteArray content = PatternBytes(1500);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 2, 3}));
    QCOMPARE(f.server.file(), content);
    QCOMPARE(f.trace().filter("unknown transfer ID").size(), 1);
    if (closes) {
        QCOMPARE(f.trace().filter("not the server: ignored"),
                 QStringList{QStringLiteral("port unreachable about 127.0.0.1 port %1, not the "
                                            "server: ignored")
                                 .arg(strangerPort)});
        return;
    }
    // The upload has ended: a refusal, if any, went out long ago.
    const auto answer = stranger->receive(0);
    QCOMPARE(answer.has_value(), refused);
    if (refused) {
        QCOMPARE(answer->bytes, QByteArray("\0\5\0\5Unknown transfer ID\0", 24));
    }
}

void TestUpload::unreachableHostIsALostPacket_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("failure");
    // clang-format off
    QTest::newRow("host unreachable, sends left")    << 10065 << 0 << int(trCompleted)   << "";
    QTest::newRow("network unreachable, sends left") << 10051 << 0 << int(trCompleted)   << "";
    QTest::newRow("host unreachable at the last send") << 10065 << 1 << int(trSocketError) << "No route to host: 127.0.0.1 port %1";
    // The server has gone: its transfer port closed in mid-transfer ends the upload at once.
    QTest::newRow("port unreachable")                << 10061 << 0 << int(trSocketError) << "port unreachable: 127.0.0.1 port %1";
    // clang-format on
}

void TestUpload::unreachableHostIsALostPacket() {
    // A device on the segment that stops answering ARP while it erases its flash: the host
    // says it cannot be reached, for one send, and the time-out's resend gets through.
    QFETCH(int, error);
    QFETCH(int, retries);
    QFETCH(int, result);
    QFETCH(QString, failure);
    UploadFixture f;
    f.entry.RetransmitMs = 50;
    f.entry.Retries = retries;
    f.server.onceAtBlock(2, [&](const Datagram&) { f.upload.Udp1Error(nullptr, quint16(error)); });
    f.setFile(PatternBytes(1500));
    QCOMPARE(f.run(), result);
    QCOMPARE(f.upload.FailureText(), failure.arg(f.server.transferPort()));
    if (result == trCompleted) {
        QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 2, 3}));
        QCOMPARE(f.trace().filter("counted as a lost packet").size(), 1);
    }
}

void TestUpload::firstAnswerFromAnotherAddress() {
    // A server bound to all its host's addresses, asked at 127.0.0.2, answers from 127.0.0.1:
    // its first answer counts, and the upload goes on with that address and port.
    ScriptedTftpServer server(0, "127.0.0.2");
    UploadFixture f;
    f.entry.ServerAddress = QStringLiteral("127.0.0.2");
    f.entry.ServerPort = server.port();
    f.entry.RetransmitMs = 100;
    f.setFile(PatternBytes(1500));
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(server.file(), PatternBytes(1500));
    QVERIFY(f.trace().contains("answered from 127.0.0.1"));
    QCOMPARE(f.upload.ServerAddress(), QStringLiteral("127.0.0.1"));
    QVERIFY(f.trace().filter("unknown transfer ID").isEmpty());
}

void TestUpload::errorPackets_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("atBlock"); // 0: in answer to the write request
    QTest::addColumn<QString>("line");
    // clang-format off
    QTest::newRow("code 0")              << 0 << QByteArray("disk on fire")                 << 0 << "ErrMsg: disk on fire";
    QTest::newRow("code 0, UTF-8")       << 0 << QByteArray("満杯")                          << 0 << "ErrMsg: 満杯";
    QTest::newRow("code 0, Shift-JIS")   << 0 << QByteArray::fromHex("838B815B835E")        << 0 << "ErrMsg: ルータ";
    QTest::newRow("code 1")              << 1 << QByteArray("no such dir")                  << 0 << "File Not Found";
    QTest::newRow("code 3 mid-transfer") << 3 << QByteArray()                               << 2 << "Disk Full or allocation exceeded";
    QTest::newRow("code 9")              << 9 << QByteArray("odd")                          << 0 << "???";
    QTest::newRow("longer than a packet") << 0 << QByteArray(1000, 'x')                  << 2 << "ErrMsg: " + QString(1000, u'x');
    // clang-format on
}

void TestUpload::errorPackets() {
    QFETCH(int, code);
    QFETCH(QByteArray, message);
    QFETCH(int, atBlock);
    QFETCH(QString, line);
    UploadFixture f;
    f.entry.RetransmitMs = 20;
    f.server.onceAtBlock(quint16(atBlock), [&](const Datagram&) {
        f.server.answer(ScriptedTftpServer::error(quint16(code), message));
    });
    f.setFile(PatternBytes(5000));
    QCOMPARE(f.run(), int(trBadPacket));
    const QStringList tail = f.trace().mid(f.trace().size() - 3);
    QCOMPARE(tail,
             (QStringList{"Error Packet Recved", QStringLiteral("  ErrCode %1").arg(code), line}));
    // Nothing can go out any more: no timer runs and the endpoint is closed.
    QVERIFY(!f.upload.Timer1->isActive());
    QVERIFY(!f.upload.Udp1->IsOpen());
    const qsizetype sent = f.server.received.size();
    f.server.drain();
    QCOMPARE(f.server.received.size(), sent);
}

void TestUpload::silentServerTimesOut() {
    constexpr qint64 Period = 100;
    UploadFixture f;
    f.entry.RetransmitMs = Period;
    f.server.script = [](const Datagram&) {
    };
    SendTimes sends(f, QStringLiteral("make WQR packet"));
    f.setFile(PatternBytes(10));
    QCOMPARE(f.run(), int(trTimeout));
    const qint64 endedAtMs = sends.nowMs();

    QCOMPARE(f.server.received.size(), 5);
    for (const Datagram& d : f.server.received) {
        QCOMPARE(d.bytes, f.server.received.first().bytes);
    }
    VerifyFiveSendsNeverEarly(sends, endedAtMs, Period);
    QCOMPARE(f.trace(),
             (QStringList{"file opened", "make WQR packet", "timeout! resend packet(1times)",
                          "timeout! resend packet(2times)", "timeout! resend packet(3times)",
                          "timeout! resend packet(4times)"}));
    QVERIFY(!f.upload.Timer1->isActive());
    QVERIFY(!f.upload.Udp1->IsOpen());
}

void TestUpload::hostNotFoundThenGoodUpload() {
    UploadFixture f;
    f.entry.ServerAddress = QStringLiteral("no.such.host.invalid");
    f.entry.LocalFile = f.dir.filePath(QStringLiteral("missing.bin"));
    QCOMPARE(f.run(), int(trHostNotFound));
    QVERIFY(f.trace().isEmpty());

    f.entry.ServerAddress = QStringLiteral("127.0.0.1");
    f.entry.LocalFile = f.dir.filePath(QStringLiteral("local.bin"));
    f.setFile(PatternBytes(700));
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), PatternBytes(700));
}

void TestUpload::nextUploadStartsAfresh_data() {
    QTest::addColumn<QString>("first");
    QTest::newRow("retransmit entry") << "retransmit";
    QTest::newRow("wait aborted") << "wait";
    QTest::newRow("options granted") << "options";
}

void TestUpload::nextUploadStartsAfresh() {
    // Whatever the first upload set, a plain entry's upload on the same object is plain: one
    // request without options, sent again only after the default period.
    QFETCH(QString, first);
    UploadFixture f;
    f.upload.SetWaitStepMs(20);
    f.setFile(PatternBytes(3000));
    if (first == "retransmit") {
        f.entry.RetransmitMs = 20;
        f.server.script = [](const Datagram&) {
        };
        QCOMPARE(f.run(), int(trTimeout));
    } else if (first == "wait") {
        f.entry.WaitForTarget = 1000;
        f.server.script = [](const Datagram&) {
        };
        f.upload.OnWait = [&](int) {
            f.upload.Abort();
        };
        QCOMPARE(f.run(), int(trAborted));
        f.upload.OnWait = nullptr;
    } else {
        f.entry.BlkSize = 1024;
        f.entry.WindowSize = 2;
        f.server.onceAtBlock(0, [&](const Datagram&) {
            f.server.answer(QByteArray("\0\6blksize\0"
                                       "1024\0windowsize\0"
                                       "2\0",
                                       28));
        });
        QCOMPARE(f.run(), int(trCompleted));
        QCOMPARE(f.server.received.last().bytes.size(), 4 + 3000 - 2048);
    }

    f.entry = UploadTarget().entry;
    f.entry.ServerPort = f.server.port();
    f.entry.LocalFile = f.dir.filePath(QStringLiteral("local.bin"));
    f.server.drain();
    f.server.received.clear();
    f.server.script = [](const Datagram&) {
    };
    QTimer::singleShot(300, &f.upload, [&f] { f.upload.Abort(); });
    QCOMPARE(f.run(), int(trAborted));
    f.server.drain();
    QCOMPARE(f.server.received.size(), 1);
    QCOMPARE(f.server.received[0].bytes, QByteArray("\0\2remote.bin\0octet\0", 19));
    QCOMPARE(f.upload.Timer1->interval(), 5000);

    f.server.script = [&f](const Datagram& d) {
        f.server.acknowledgeNormally(d);
    };
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), PatternBytes(3000));
}

void TestUpload::callbacksMayEndStartOrDelete_data() {
    QTest::addColumn<QString>("callback");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<int>>("ends");
    const int done = trCompleted;
    const int aborted = trAborted;
    // clang-format off
    QTest::newRow("end, start")       << "end"      << "start"  << QList<int>{done, done};
    QTest::newRow("end, delete")      << "end"      << "delete" << QList<int>{done};
    QTest::newRow("progress, abort")  << "progress" << "abort"  << QList<int>{aborted};
    QTest::newRow("progress, start")  << "progress" << "start"  << QList<int>{aborted, done};
    QTest::newRow("progress, delete") << "progress" << "delete" << QList<int>{};
    QTest::newRow("last block, start") << "last"    << "start"  << QList<int>{aborted, done};
    QTest::newRow("wait, abort")      << "wait"     << "abort"  << QList<int>{aborted};
    QTest::newRow("wait, start")      << "wait"     << "start"  << QList<int>{aborted, done};
    QTest::newRow("wait, delete")     << "wait"     << "delete" << QList<int>{};
    // clang-format on
}

void TestUpload::callbacksMayEndStartOrDelete() {
    // Whoever is told of an upload may end it, start the next or delete the upload there and
    // then; nothing of the upload is touched afterwards (the sanitizers' run would say so).
    QFETCH(QString, callback);
    QFETCH(QString, action);
    QFETCH(QList<int>, ends);
    UploadTarget t;
    t.setFile(PatternBytes(40 * 512 + 100));
    TServerEntry plain = t.entry;
    if (callback == "wait") {
        t.entry.WaitForTarget = 1000;
        t.server.script = [](const Datagram&) {
        };
    }
    auto* upload = new TUpload;
    upload->SetWaitStepMs(20);
    QEventLoop loop;
    QList<int> ended;
    bool acted = false;
    const auto act = [&] {
        if (acted) {
            return;
        }
        acted = true;
        if (action == "abort") {
            upload->Abort();
        } else if (action == "start") {
            t.server.script = [&t](const Datagram& d) {
                t.server.acknowledgeNormally(d);
            };
            upload->Start(plain);
        } else {
            delete upload;
            upload = nullptr;
            loop.quit();
        }
    };
    upload->OnEnd = [&](TransferResult result) {
        ended.append(result);
        if (callback == "end") {
            act();
        }
        // Every end the row expects has come; the watchdog catches one that does not.
        if (ended.size() == ends.size()) {
            loop.quit();
        }
    };
    upload->OnProgress = [&](qint64 acked, qint64 total) {
        if ((callback == "progress" && acked == 32 * 512) ||
            (callback == "last" && acked == total)) {
            act();
        }
    };
    upload->OnWait = [&](int left) {
        // A step's, which the retransmission timer tells, not the first, which Start does.
        if (callback == "wait" && left < t.entry.WaitForTarget) {
            act();
        }
    };
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, &loop, &QEventLoop::quit);
    watchdog.start(10000);
    QTimer::singleShot(0, &loop, [&] { upload->Start(t.entry); });
    loop.exec();
    QVERIFY(acted);
    QCOMPARE(ended, ends);
    if (upload) {
        QVERIFY(!upload->Timer1->isActive());
        QVERIFY(!upload->Udp1->IsOpen());
    }
    if (ends.endsWith(trCompleted) && action == "start") {
        QCOMPARE(t.server.file(), PatternBytes(40 * 512 + 100));
    }
    delete upload;
}

void TestUpload::abortStopsEverything() {
    UploadFixture f;
    f.entry.RetransmitMs = 50;
    f.server.onceAtBlock(3, [&](const Datagram&) {
        // The acknowledgement is on its way when the user gives up.
        f.server.answer(ScriptedTftpServer::ack(3), 5);
        f.upload.Abort();
    });
    f.setFile(PatternBytes(5000));
    QCOMPARE(f.run(), int(trAborted));
    f.server.drain();
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 3}));
    // The server is told, once, and stops waiting for the rest.
    QCOMPARE(f.server.received.last().bytes, QByteArray("\0\5\0\0upload aborted\0", 19));
    QVERIFY(f.server.received.last().toTransferPort);
    QVERIFY(!f.upload.Timer1->isActive());
    QVERIFY(!f.upload.Udp1->IsOpen());

    // A notification queued before the abort reaches a closed endpoint and is dropped.
    TMessage late{WM_SOCKET_NOTIFY, 0, MakeLParam(FD_READ, 0), 0};
    f.upload.Udp1->WndProc(late);
    f.server.drain();
    QCOMPARE(f.server.received.size(), 5);

    // Before the server's first answer its transfer ID is not known: nothing is sent.
    f.server.received.clear();
    f.server.onceAtBlock(0, [&](const Datagram&) { f.upload.Abort(); });
    QCOMPARE(f.run(), int(trAborted));
    f.server.drain();
    QCOMPARE(f.server.received.size(), 1);
}

void TestUpload::endsOnce_data() {
    QTest::addColumn<int>("result");
    QTest::newRow("completed") << int(trCompleted);
    QTest::newRow("server error") << int(trBadPacket);
    QTest::newRow("timeout") << int(trTimeout);
    QTest::newRow("aborted") << int(trAborted);
}

void TestUpload::endsOnce() {
    QFETCH(int, result);
    UploadFixture f;
    f.entry.RetransmitMs = 20;
    f.server.onceAtBlock(2, [&](const Datagram&) {
        if (result == trBadPacket) {
            f.server.answer(ScriptedTftpServer::error(3, "disk full"));
        } else if (result == trAborted) {
            f.upload.Abort();
        } else if (result == trTimeout) {
            f.server.script = [](const Datagram&) {
            };
        }
    });
    f.setFile(PatternBytes(1500));
    QCOMPARE(f.run(), result);
    // What the end sent, an abort's word to the server included, has arrived.
    f.server.drain();
    const qsizetype sent = f.server.received.size();

    // Whatever reaches an ended upload later (the user's abort, a tick, a network error) is
    // neither a second ending nor a reason to send.
    QList<int> laterEnds;
    f.upload.OnEnd = [&](TransferResult ended) {
        laterEnds.append(ended);
    };
    f.upload.Abort();
    f.upload.Timer1Timer();
    f.upload.Udp1Error(nullptr, 10061);
    f.server.drain();
    QCOMPARE(laterEnds, QList<int>());
    QCOMPARE(f.server.received.size(), sent);
}

void TestUpload::abortBeforeStartEnds() {
    // Ctrl+C can come before the upload has begun: that too is an ending, and the only one.
    UploadFixture f;
    QList<int> ends;
    f.upload.OnEnd = [&](TransferResult ended) {
        ends.append(ended);
    };
    f.upload.Abort();
    f.upload.Abort();
    QCOMPARE(ends, QList<int>{trAborted});
}

void TestUpload::unknownDatagramsDoNotStallRetransmission() {
    UploadFixture f;
    f.entry.RetransmitMs = 200;
    f.server.onceAtBlock(2, [&](const Datagram&) {
        // The acknowledgement is lost, and the server sends what is no answer instead.
        f.server.answer(QByteArray::fromHex("00090002"));
        f.server.answer(QByteArray::fromHex("0004"));
        f.server.answer(QByteArray());
    });
    const QByteArray content = PatternBytes(1500);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 2, 3}));
    QCOMPARE(f.trace().count("Unknown packet recved"), 2);
    QVERIFY(f.trace().contains("timeout! resend packet(1times)"));
    QCOMPARE(f.server.file(), content);
}

void TestUpload::entriesTheRequestCannotCarry() {
    UploadFixture f;
    f.setFile(PatternBytes(10));
    f.entry.ServerPort = 70000;
    QCOMPARE(f.run(), int(trSocketError));
    QVERIFY(!f.upload.Udp1->IsOpen());

    f.entry.ServerPort = f.server.port();
    f.entry.RemoteFile = QString(Tftp::MaxNameLength + 1, QLatin1Char('n'));
    QCOMPARE(f.run(), int(trFileOpenError));
    QCOMPARE(f.trace().last(), QStringLiteral("remote file name too long"));
    f.server.drain();
    QVERIFY(f.server.received.isEmpty());

    // Multi-byte names count in bytes: 254 two-byte characters are too long as well.
    f.entry.RemoteFile = QString(254, QChar(0x00E9));
    QCOMPARE(f.run(), int(trFileOpenError));

    f.entry.RemoteFile = QString(Tftp::MaxNameLength, QLatin1Char('n'));
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.received.first().bytes.size(), Tftp::PacketSize);
}

void TestUpload::fileShrinksWhileSent() {
    UploadFixture f;
    f.upload.SetReadAheadBytes(1024);
    f.setFile(PatternBytes(10 * 512));
    f.server.onceAtBlock(3, [&](const Datagram& d) {
        QFile(f.entry.LocalFile).resize(1200);
        f.server.acknowledgeNormally(d);
    });
    QCOMPARE(f.run(), int(trFileOpenError));
    // Block 4 was read before the file shrank; block 5 is not there any more.
    QVERIFY(f.trace().contains(QStringLiteral("size error! filesize=5120 readlen=2048")));
    f.server.drain();
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 3, 4}));
    QVERIFY(
        f.upload.FailureText().endsWith(QStringLiteral("local.bin: gave 2048 of its 5120 bytes")));
    // The server, which holds part of the file, hears why the rest does not come.
    const Datagram& told = f.server.received.last();
    QCOMPARE(told.opcode(), Tftp::OpError);
    QCOMPARE(told.number(), 0);
    QVERIFY(told.bytes.endsWith(QByteArray("local.bin: gave 2048 of its 5120 bytes") + '\0'));
    QVERIFY(told.toTransferPort);
}

void TestUpload::nameNotFound_data() {
    QTest::addColumn<QString>("why"); // what the resolver says
    QTest::newRow("an unknown name") << QString();
    // The name may exist: the user is told the name server did not answer.
    QTest::newRow("no answer from the name server")
        << QStringLiteral("temporary failure in name resolution");
}

void TestUpload::nameNotFound() {
    QFETCH(QString, why);
    UploadFixture f;
    f.upload.SetResolver([why](const QString&, QString* said) {
        *said = why;
        return QList<TSocketAddress>();
    });
    f.entry.ServerAddress = QStringLiteral("device.example");
    f.setFile(PatternBytes(700));
    QCOMPARE(f.run(), int(trHostNotFound));
    QCOMPARE(f.upload.FailureText(), why);
}

void TestUpload::abortWhileNameIsLookedUp() {
    UploadFixture f;
    // A name server that does not answer until the test is done.
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    f.upload.SetResolver([answered](const QString&, QString*) {
        answered.wait();
        return ResolveHost(QStringLiteral("127.0.0.1"));
    });
    f.entry.ServerAddress = QStringLiteral("slow.example");
    f.setFile(PatternBytes(700));
    QTimer::singleShot(20, [&] { f.upload.Abort(); });
    QCOMPARE(f.run(), int(trAborted));
    answer.set_value();

    // The forgotten look-up's answer does not start anything: the next upload is the only one.
    f.upload.SetResolver(ResolveHost);
    f.entry.ServerAddress = QStringLiteral("localhost");
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.file(), PatternBytes(700));
    QCOMPARE(f.trace().count(QStringLiteral("make WQR packet")), 1);
}

void TestUpload::nextAddressWhenPortUnreachable_data() {
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("line");
    // Nothing listens on the server's port at 127.0.0.2: the host says so at once.
    QTest::newRow("second address") << QStringList{"127.0.0.2", "127.0.0.1"} << int(trCompleted)
                                    << "port unreachable at 127.0.0.2, trying 127.0.0.1";
    // Each refusal is about the address tried then, never one tried before.
    QTest::newRow("third address")
        << QStringList{"127.0.0.2", "127.0.0.3", "127.0.0.1"} << int(trCompleted)
        << "port unreachable at 127.0.0.3, trying 127.0.0.1";
    QTest::newRow("no address left")
        << QStringList{"127.0.0.2"} << int(trSocketError) << "socket error: port unreachable";
}

void TestUpload::nextAddressWhenPortUnreachable() {
    QFETCH(QStringList, addresses);
    QFETCH(int, result);
    QFETCH(QString, line);
    UploadFixture f;
    // Far longer than the test may take: only the host's answers can end the wait.
    f.entry.RetransmitMs = 60000;
    f.upload.SetWaitStepMs(20);
    f.nameResolvesTo(addresses);
    f.setFile(PatternBytes(700));
    QCOMPARE(f.run(10000), result);
    QVERIFY2(f.trace().contains(line), qPrintable(f.trace().join(u'\n')));
    if (result == trCompleted) {
        QCOMPARE(f.server.file(), PatternBytes(700));
        QCOMPARE(f.upload.ServerAddress(), QStringLiteral("127.0.0.1"));
    } else {
        QCOMPARE(f.upload.FailureText(),
                 QStringLiteral("port unreachable: 127.0.0.2 port %1").arg(f.server.port()));
    }
}

void TestUpload::portOpensAMomentLater_data() {
    QTest::addColumn<int>("opensAfter"); // refusals before the server opens its port; -1: never
    QTest::addColumn<int>("result");
    QTest::newRow("after one refusal") << 1 << int(trCompleted);
    QTest::newRow("after four") << 4 << int(trCompleted);
    QTest::newRow("never") << -1 << int(trSocketError);
}

void TestUpload::portOpensAMomentLater() {
    // A recovery server that restarts after each file: the next file's request is refused for a
    // moment. It goes again a second later, not a period later, and is refused for good only
    // at the last send.
    QFETCH(int, opensAfter);
    QFETCH(int, result);
    UploadFixture f;
    f.entry.RetransmitMs = 60000;
    f.upload.SetWaitStepMs(20);
    const quint16 port = FreeUdpPort();
    f.entry.ServerPort = port;
    std::optional<ScriptedTftpServer> late;
    int refusals = 0;
    f.onTraceLine = [&](const QString& line) {
        if (line == "socket error: port unreachable" && ++refusals == opensAfter) {
            late.emplace(port);
        }
    };
    f.setFile(PatternBytes(700));
    QCOMPARE(f.run(10000), result);
    if (result == trCompleted) {
        QCOMPARE(late->file(), PatternBytes(700));
        QCOMPARE(f.trace().filter("the request goes again in 20 ms").size(), opensAfter);
    } else {
        QCOMPARE(refusals, 5);
        QCOMPARE(f.upload.FailureText(),
                 QStringLiteral("port unreachable: 127.0.0.1 port %1").arg(port));
    }
}

void TestUpload::failedSendEndsAtOnce() {
    UploadFixture f;
    f.entry.RetransmitMs = 60000;
    f.entry.ServerPort = 0;
    f.setFile(PatternBytes(10));
    QCOMPARE(f.run(10000), int(trSocketError));
    QCOMPARE(f.trace().last(), QStringLiteral("send failed: Invalid argument"));
    QVERIFY(
        f.upload.FailureText().startsWith(QStringLiteral("Invalid argument: 127.0.0.1 port 0")));
}

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
