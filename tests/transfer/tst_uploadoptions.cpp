// Block size and window options: the write request that asks for them, the server's answers to
// it, and uploads in windows of several blocks, against the scripted server.

#include "net/Udp.h"
#include "support/UploadFixture.h"
#include "transfer/TftpPacket.h"

#include <QTest>
#include <QTimer>

using Datagram = ScriptedTftpServer::Datagram;

namespace {

QByteArray Strings(const QList<QByteArray>& strings) {
    QByteArray bytes;
    for (const QByteArray& s : strings) {
        bytes += s + '\0';
    }
    return bytes;
}

QByteArray OptionAck(const QList<QByteArray>& strings) {
    return QByteArray("\0\6", 2) + Strings(strings);
}

// A receiver as RFC 7440 has it: the write request is answered with `answer`; blocks are taken
// in order and the last of each window acknowledged; a block out of order, after a loss, is
// answered with the acknowledgement of the last block taken. `lose` drops a block unseen.
class WindowedReceiver {
public:
    WindowedReceiver(ScriptedTftpServer& server, QByteArray answer, int window, int blockSize)
        : server(server)
        , answer(std::move(answer))
        , window(window)
        , blockSize(blockSize) {
        server.script = [this](const Datagram& d) {
            receive(d);
        };
    }

    std::function<bool(const Datagram&)> lose;
    // Loses DATA block `block` the first time it comes.
    void loseOnce(quint16 block) {
        lose = [block, lost = false](const Datagram& d) mutable {
            const bool now = !lost && d.isBlock(block);
            lost = lost || now;
            return now;
        };
    }

    // Acknowledges the last block taken, which starts a new window.
    void acknowledge(int afterMs) {
        taken = 0;
        const quint16 block = quint16(next - 1);
        if (block == ackLost) {
            ackLost = 0;
            return;
        }
        server.answer(ScriptedTftpServer::ack(block), afterMs);
    }
    void acknowledge() { acknowledge(delayMs); }
    // How long each acknowledgement takes to come: a round trip of a few milliseconds lets the
    // upload tell which of its blocks the server can have seen when it wrote it.
    int delayMs = 0;
    // How long an answer to a block out of order takes, when not delayMs: a device that writes
    // each window before it acknowledges it tells of a gap at once.
    int gapDelayMs = -1;
    // Answers only the first block out of order after one in order, and counts its window
    // afresh from the next one it takes, as atftpd does; otherwise every block out of order.
    bool answersOnceARun = false;
    // The first acknowledgement of this block is lost on its way.
    quint16 ackLost = 0;
    // Holds DATA block `block` back this long the first time it comes, while later ones pass.
    void holdOnce(quint16 block, int ms) {
        held = block;
        heldMs = ms;
    }

private:
    void receive(const Datagram& d) {
        if (d.opcode() == Tftp::OpWriteRequest) {
            server.answer(answer);
        } else if (d.opcode() == Tftp::OpData && !(lose && lose(d))) {
            if (held != 0 && d.isBlock(held)) {
                held = 0;
                QTimer::singleShot(heldMs, &lifetime, [this, d] { receive(d); });
                return;
            }
            if (d.number() != next) {
                if (!answersOnceARun || !outOfOrder) {
                    acknowledge(gapDelayMs < 0 ? delayMs : gapDelayMs);
                }
                outOfOrder = true;
                return;
            }
            outOfOrder = false;
            ++next;
            if (++taken == window || d.bytes.size() - 4 < blockSize) {
                acknowledge();
            }
        }
    }

    ScriptedTftpServer& server;
    const QByteArray answer;
    const int window;
    const int blockSize;
    quint16 next = 1;
    int taken = 0;
    bool outOfOrder = false;
    quint16 held = 0;
    int heldMs = 0;
    // A held block that has not come when the receiver goes never comes.
    QObject lifetime;
};

QList<int> DataSizes(const ScriptedTftpServer& server) {
    QList<int> sizes;
    for (const Datagram& d : server.received) {
        if (d.opcode() == Tftp::OpData) {
            sizes.append(int(d.bytes.size()) - 4);
        }
    }
    return sizes;
}

QList<quint16> Range(int from, int to) {
    QList<quint16> blocks;
    for (int b = from; b <= to; ++b) {
        blocks.append(quint16(b));
    }
    return blocks;
}

} // namespace

class TestUploadOptions : public QObject {
    Q_OBJECT

private slots:
    void requestCarriesWhatIsAsked_data();
    void requestCarriesWhatIsAsked();
    void serverAnswers_data();
    void serverAnswers();
    void timeoutAnswers_data();
    void timeoutAnswers();
    void refusedOptionsThenPlainRequest();
    void windowsAcknowledged_data();
    void windowsAcknowledged();
    void ackInsideWindowRestartsAfterIt();
    void lossInAWindow_data();
    void lossInAWindow();
    void lostBlockIsResent_data();
    void lostBlockIsResent();
    void repeatedOptionAckResendsWindow();
    void rolloverInsideWindows();
    void silentServerTimesOutWindow();
    void lastBlockUnacknowledged_data();
    void lastBlockUnacknowledged();
    void requestWithinABlock_data();
    void requestWithinABlock();
    void progressCountsGrantedBlocks();
};

void TestUploadOptions::requestCarriesWhatIsAsked_data() {
    QTest::addColumn<int>("blksize");
    QTest::addColumn<int>("windowsize");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QString>("traced");
    QTest::newRow("nothing asked") << 0 << 0 << 0 << QByteArray() << QString();
    QTest::newRow("blksize") << 1468 << 0 << 0 << Strings({"blksize", "1468", "tsize", "1000"})
                             << "options asked: blksize=1468 tsize=1000";
    QTest::newRow("windowsize") << 0 << 16 << 0 << Strings({"windowsize", "16", "tsize", "1000"})
                                << "options asked: windowsize=16 tsize=1000";
    QTest::newRow("both") << 8 << 65535 << 0
                          << Strings({"blksize", "8", "windowsize", "65535", "tsize", "1000"})
                          << "options asked: blksize=8 windowsize=65535 tsize=1000";
    QTest::newRow("timeout") << 0 << 0 << 30 << Strings({"timeout", "30", "tsize", "1000"})
                             << "options asked: timeout=30 tsize=1000";
}

void TestUploadOptions::requestCarriesWhatIsAsked() {
    QFETCH(int, blksize);
    QFETCH(int, windowsize);
    QFETCH(int, timeout);
    QFETCH(QByteArray, options);
    QFETCH(QString, traced);
    UploadFixture f;
    f.entry.RemoteFile = QStringLiteral("fw.bin");
    f.entry.BlkSize = blksize;
    f.entry.WindowSize = windowsize;
    f.entry.TimeoutSeconds = timeout;
    f.setFile(PatternBytes(1000));
    // Whatever was asked, a server that ignores options gets the file as plain TFTP.
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.received.first().bytes, QByteArray("\0\2fw.bin\0octet\0", 15) + options);
    QCOMPARE(DataSizes(f.server), (QList<int>{512, 488}));
    QStringList expected{"make WQR packet", "  ack recved(block#0)"};
    if (!traced.isEmpty()) {
        expected.insert(1, traced);
    }
    QCOMPARE(f.trace().mid(1, expected.size()), expected);
}

void TestUploadOptions::serverAnswers_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("result");
    // The DATA sizes the server receives; for a refused answer, the ERROR 8 it gets instead.
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QString>("traced");
    const QList<int> big{1024, 1024, 952};
    // clang-format off
    QTest::newRow("every option granted")
        << OptionAck({"blksize", "1024", "windowsize", "4", "tsize", "3000"})
        << 4 << int(trCompleted) << big << "options acked: blksize=1024 windowsize=4";
    QTest::newRow("names in capitals")
        << OptionAck({"BLKSIZE", "1024", "TSize", "3000"})
        << 1 << int(trCompleted) << big << "options acked: blksize=1024 windowsize=1";
    QTest::newRow("blksize lowered")
        << OptionAck({"blksize", "700"})
        << 1 << int(trCompleted) << QList<int>{700, 700, 700, 700, 200}
        << "options acked: blksize=700 windowsize=1";
    QTest::newRow("windowsize lowered, blksize left out")
        << OptionAck({"windowsize", "2"})
        << 2 << int(trCompleted) << QList<int>{512, 512, 512, 512, 512, 440}
        << "options acked: blksize=512 windowsize=2";
    QTest::newRow("plain ack 0: options ignored")
        << ScriptedTftpServer::ack(0)
        << 1 << int(trCompleted) << QList<int>{512, 512, 512, 512, 512, 440}
        << "options ignored by the server";
    QTest::newRow("blksize raised")
        << OptionAck({"blksize", "2048"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("windowsize raised")
        << OptionAck({"windowsize", "5"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("blksize below 8")
        << OptionAck({"blksize", "7"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("option not asked: passed over")
        << OptionAck({"timeout", "1"})
        << 1 << int(trCompleted) << QList<int>{512, 512, 512, 512, 512, 440}
        << "option not asked, ignored: timeout";
    QTest::newRow("an unknown option beside the granted ones")
        << OptionAck({"blksize", "1024", "X-Vendor", "1"})
        << 1 << int(trCompleted) << big << "option not asked, ignored: x-vendor";
    QTest::newRow("tsize 0: the server does not say")
        << OptionAck({"blksize", "1024", "tsize", "0"})
        << 1 << int(trCompleted) << big << "options acked: blksize=1024 windowsize=1";
    QTest::newRow("tsize twice")
        << OptionAck({"tsize", "3000", "tsize", "0"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("option twice")
        << OptionAck({"blksize", "512", "blksize", "1024"})
        << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("value not a number")
        << OptionAck({"blksize", "+1024"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("name without value")
        << OptionAck({"blksize"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("string not terminated")
        << QByteArray("\0\6blksize\0001024", 14) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("tsize other than the file's")
        << OptionAck({"tsize", "2999"}) << 1 << int(trBadPacket) << QList<int>() << QString();
    QTest::newRow("no options at all: plain TFTP")
        << QByteArray("\0\6", 2)
        << 1 << int(trCompleted) << QList<int>{512, 512, 512, 512, 512, 440}
        << "options acked: blksize=512 windowsize=1";
    QTest::newRow("a zero byte after the last option")
        << OptionAck({"blksize", "1024", "tsize", "3000"}) + '\0'
        << 1 << int(trCompleted) << big << "options acked: blksize=1024 windowsize=1";
    QTest::newRow("blanks around a value")
        << OptionAck({"blksize", " 1024", "windowsize", "4 "})
        << 4 << int(trCompleted) << big << "options acked: blksize=1024 windowsize=4";
    QTest::newRow("two zero bytes after the last option")
        << OptionAck({"blksize", "1024"}) + QByteArray(2, '\0')
        << 1 << int(trBadPacket) << QList<int>() << QString();
    // clang-format on
}

void TestUploadOptions::serverAnswers() {
    QFETCH(QByteArray, answer);
    QFETCH(int, window);
    QFETCH(int, result);
    QFETCH(QList<int>, sizes);
    QFETCH(QString, traced);
    UploadFixture f;
    f.entry.BlkSize = 1024;
    f.entry.WindowSize = 4;
    f.setFile(PatternBytes(3000));
    const int blockSize = sizes.isEmpty() ? 512 : sizes.first();
    WindowedReceiver receiver(f.server, answer, window, blockSize);
    QCOMPARE(f.run(), result);

    QCOMPARE(DataSizes(f.server), sizes);
    if (result == trCompleted) {
        QCOMPARE(f.server.file(), PatternBytes(3000));
        QVERIFY(f.trace().contains(traced));
        return;
    }
    // The server hears why, at its transfer port.
    f.server.drain();
    const Datagram& last = f.server.received.last();
    QCOMPARE(last.bytes, QByteArray("\0\5\0\10bad option acknowledgement\0", 31));
    QVERIFY(last.toTransferPort);
    QVERIFY(f.trace().contains("bad option acknowledgement"));
    QVERIFY(!f.upload.Udp1->IsOpen());
    QVERIFY(!f.upload.Timer1->isActive());
}

void TestUploadOptions::timeoutAnswers_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("granted") << OptionAck({"timeout", "30", "tsize", "3000"}) << int(trCompleted);
    QTest::newRow("left out") << OptionAck({"tsize", "3000"}) << int(trCompleted);
    QTest::newRow("other than asked") << OptionAck({"timeout", "10"}) << int(trBadPacket);
    QTest::newRow("beyond 255") << OptionAck({"timeout", "300"}) << int(trBadPacket);
}

void TestUploadOptions::timeoutAnswers() {
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    UploadFixture f;
    f.entry.TimeoutSeconds = 30;
    f.setFile(PatternBytes(3000));
    WindowedReceiver receiver(f.server, answer, 1, 512);
    QCOMPARE(f.run(), result);
    if (result == trCompleted) {
        QCOMPARE(f.server.file(), PatternBytes(3000));
    }
}

void TestUploadOptions::refusedOptionsThenPlainRequest() {
    UploadFixture f;
    f.entry.RemoteFile = QStringLiteral("fw.bin");
    f.entry.BlkSize = 1468;
    f.setFile(PatternBytes(600));
    int refusals = 0;
    // Refused every time, so that a second request with options would be refused too.
    f.server.script = [&](const Datagram& d) {
        if (d.opcode() == Tftp::OpWriteRequest && d.bytes.contains("blksize")) {
            ++refusals;
            f.server.answer(ScriptedTftpServer::error(8, "no options here"));
        } else {
            f.server.acknowledgeNormally(d);
        }
    };
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(refusals, 1);
    QCOMPARE(f.server.received[1].bytes, QByteArray("\0\2fw.bin\0octet\0", 15));
    QVERIFY(!f.server.received[1].toTransferPort);
    QCOMPARE(f.server.file(), PatternBytes(600));
    QVERIFY(f.trace().contains("options refused, request again without options"));

    // Refused without options too: the upload ends as for any error.
    UploadFixture g;
    g.setFile(PatternBytes(10));
    g.entry.BlkSize = 1468;
    g.server.script = [&](const Datagram& d) {
        if (d.opcode() == Tftp::OpWriteRequest) {
            g.server.answer(ScriptedTftpServer::error(8, "no"));
        }
    };
    QCOMPARE(g.run(), int(trBadPacket));
    QCOMPARE(g.server.received.size(), 2);
}

void TestUploadOptions::windowsAcknowledged_data() {
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("acks");
    QTest::newRow("10 blocks in windows of 4") << 4 << 512 * 9 + 100 << 3;
    QTest::newRow("exactly two windows, then the empty block") << 4 << 512 * 8 << 3;
    QTest::newRow("one window holds the file") << 16 << 512 * 3 + 1 << 1;
}

void TestUploadOptions::windowsAcknowledged() {
    QFETCH(int, window);
    QFETCH(int, size);
    QFETCH(int, acks);
    UploadFixture f;
    f.entry.WindowSize = window;
    f.setFile(PatternBytes(size));
    WindowedReceiver receiver(f.server, OptionAck({"windowsize", QByteArray::number(window)}),
                              window, 512);
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), Range(1, size / 512 + 1));
    QCOMPARE(f.server.file(), PatternBytes(size));
    QCOMPARE(f.trace().filter("ack recved").size(), acks);
    QCOMPARE(f.progress.last(), qint64(size));
}

void TestUploadOptions::ackInsideWindowRestartsAfterIt() {
    UploadFixture f;
    f.entry.WindowSize = 4;
    f.setFile(PatternBytes(512 * 9 + 1));
    // The server keeps blocks 1 and 2 of the first window, drops 3 and 4 for want of room, and
    // says so with an acknowledgement of 2 at the window's end.
    QList<quint16> dropped;
    WindowedReceiver receiver(f.server, OptionAck({"windowsize", "4"}), 4, 512);
    receiver.delayMs = 5;
    receiver.lose = [&](const Datagram& d) {
        if (d.opcode() != Tftp::OpData || d.number() < 3 || d.number() > 4 ||
            dropped.contains(d.number())) {
            return false;
        }
        dropped.append(d.number());
        if (d.number() == 4) {
            receiver.acknowledge();
        }
        return true;
    };
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), Range(1, 4) + Range(3, 10));
    QCOMPARE(f.server.file(), PatternBytes(512 * 9 + 1));
    QVERIFY(f.trace().contains("window ack block#2, resend from block#3"));
}

void TestUploadOptions::lossInAWindow_data() {
    QTest::addColumn<quint16>("lost");
    QTest::addColumn<quint16>("late"); // held back 30 ms while later blocks pass
    QTest::addColumn<quint16>("ackLost");
    QTest::addColumn<bool>("onceARun");
    QTest::addColumn<QList<quint16>>("blocks"); // empty: not compared
    QTest::addColumn<int>("timeouts");
    // The time-out sends the window again, and the server answers the copies of 1 to 3 with
    // acknowledgement 3 while block 4 is on its way: only the new blocks follow.
    QTest::newRow("the window's last block")
        << quint16(4) << quint16(0) << quint16(0) << false << Range(1, 4) + Range(1, 12) << 1;
    // The server answers 6, 7 and 8 with acknowledgement 4 again, the first of which starts
    // the window again at once.
    QTest::newRow("the block after an acknowledgement")
        << quint16(5) << quint16(0) << quint16(0) << false << Range(1, 8) + Range(5, 12) << 0;
    QTest::newRow("the block after an acknowledgement, answered once")
        << quint16(5) << quint16(0) << quint16(0) << true << Range(1, 8) + Range(5, 12) << 0;
    // The time-out sends the whole window again, and the server, which has it, answers its
    // first block at once: the next window follows that answer.
    QTest::newRow("the acknowledgement that closes a window")
        << quint16(0) << quint16(0) << quint16(8) << true << Range(1, 8) + Range(5, 12) << 1;
    // Acknowledgement 4 twice, at once: the window's end, then block 6 before 5. The second
    // is no copy, and the window starts again at 5 however soon it came.
    QTest::newRow("the block after an acknowledgement, late")
        << quint16(0) << quint16(5) << quint16(0) << true << QList<quint16>() << 0;
    // The server then counts its window from 6, and waits for a block beyond the one sent.
    QTest::newRow("a block inside the window, late")
        << quint16(0) << quint16(6) << quint16(0) << true << QList<quint16>() << 0;
    QTest::newRow("a block inside the window, late, every block answered")
        << quint16(0) << quint16(6) << quint16(0) << false << QList<quint16>() << 0;
}

void TestUploadOptions::lossInAWindow() {
    QFETCH(quint16, lost);
    QFETCH(quint16, late);
    QFETCH(quint16, ackLost);
    QFETCH(bool, onceARun);
    QFETCH(QList<quint16>, blocks);
    QFETCH(int, timeouts);
    UploadFixture f;
    f.entry.RetransmitMs = 200;
    f.entry.WindowSize = 4;
    f.setFile(PatternBytes(512 * 11 + 1));
    WindowedReceiver receiver(f.server, OptionAck({"windowsize", "4"}), 4, 512);
    receiver.delayMs = 5;
    if (late != 0) {
        receiver.gapDelayMs = 0;
    }
    receiver.answersOnceARun = onceARun;
    receiver.loseOnce(lost);
    receiver.holdOnce(late, 30);
    receiver.ackLost = ackLost;
    QCOMPARE(f.run(), int(trCompleted));
    if (!blocks.isEmpty()) {
        QCOMPARE(f.server.dataBlocks(), blocks);
    }
    QCOMPARE(f.server.file(), PatternBytes(512 * 11 + 1));
    QCOMPARE(f.trace().filter("timeout!").size(), timeouts);
}

void TestUploadOptions::lostBlockIsResent_data() {
    QTest::addColumn<qint64>("readAhead");
    QTest::newRow("window within what was read") << qint64(1 << 20);
    // The resent window starts before what was read last, so the file is read again there.
    QTest::newRow("window beyond what was read") << qint64(1024);
    QTest::newRow("one block read at a time") << qint64(512);
}

void TestUploadOptions::lostBlockIsResent() {
    QFETCH(qint64, readAhead);
    UploadFixture f;
    f.upload.SetReadAheadBytes(readAhead);
    f.entry.WindowSize = 4;
    f.setFile(PatternBytes(512 * 9 + 1));
    WindowedReceiver receiver(f.server, OptionAck({"windowsize", "4"}), 4, 512);
    receiver.delayMs = 5;
    receiver.loseOnce(6);
    QCOMPARE(f.run(), int(trCompleted));
    // 7 and 8 come out of order and are answered with ack 5 twice: the second is the network's
    // kind of copy and sends nothing more.
    QCOMPARE(f.server.dataBlocks(), Range(1, 8) + Range(6, 10));
    QCOMPARE(f.server.file(), PatternBytes(512 * 9 + 1));
}

void TestUploadOptions::repeatedOptionAckResendsWindow() {
    UploadFixture f;
    f.entry.WindowSize = 2;
    f.setFile(PatternBytes(512 * 3));
    const QByteArray oack = OptionAck({"windowsize", "2"});
    WindowedReceiver receiver(f.server, oack, 2, 512);
    bool lost = false;
    // The first window never arrives; the server, as a server does, repeats its answer a while
    // later.
    receiver.lose = [&](const Datagram& d) {
        if (lost || (!d.isBlock(1) && !d.isBlock(2))) {
            return false;
        }
        lost = d.isBlock(2);
        if (lost) {
            f.server.answer(oack, 600);
        }
        return true;
    };
    // Long before the upload's own time-out.
    QCOMPARE(f.run(3000), int(trCompleted));
    QCOMPARE(f.server.dataBlocks(), Range(1, 2) + Range(1, 4));
    QVERIFY(f.trace().contains("  oack recved again"));
}

void TestUploadOptions::rolloverInsideWindows() {
    // 65,541 blocks of 8 bytes: block numbers wrap from 65535 to 0 inside a window of 12, and
    // 65,536 is not a multiple of 12, so the windows straddle the wrap.
    constexpr int Blocks = 65541;
    UploadFixture f(false);
    f.entry.BlkSize = 8;
    f.entry.WindowSize = 12;
    const QByteArray content = PatternBytes(qsizetype(Blocks - 1) * 8 + 3);
    f.setFile(content);
    WindowedReceiver receiver(f.server, OptionAck({"blksize", "8", "windowsize", "12"}), 12, 8);
    QCOMPARE(f.run(60000), int(trCompleted));
    QCOMPARE(f.server.file(), content);
    QCOMPARE(f.server.dataBlocks().size(), Blocks);
    QCOMPARE(f.server.dataBlocks().last(), quint16(Blocks));
}

void TestUploadOptions::silentServerTimesOutWindow() {
    UploadFixture f;
    f.entry.RetransmitMs = 50;
    f.entry.WindowSize = 4;
    f.setFile(PatternBytes(512 * 9));
    f.server.script = [&](const Datagram& d) {
        if (d.opcode() == Tftp::OpWriteRequest) {
            f.server.answer(OptionAck({"windowsize", "4"}));
        }
    };
    QCOMPARE(f.run(), int(trTimeout));
    // The window goes out five times in all, from its first block, and nothing beyond it.
    QCOMPARE(f.server.dataBlocks(),
             Range(1, 4) + Range(1, 4) + Range(1, 4) + Range(1, 4) + Range(1, 4));
    QCOMPARE(f.trace().filter("timeout!").size(), 4);
    QVERIFY(!f.upload.Udp1->IsOpen());
}

void TestUploadOptions::lastBlockUnacknowledged_data() {
    QTest::addColumn<int>("acked"); // the last block the server acknowledges, of three
    QTest::addColumn<bool>("allDataSent");
    QTest::newRow("all but the last") << 2 << true;
    // The whole file fits the window, and the server falls silent after its option
    // acknowledgement: nothing was acknowledged, a plain time-out.
    QTest::newRow("nothing") << 0 << false;
}

void TestUploadOptions::lastBlockUnacknowledged() {
    QFETCH(int, acked);
    QFETCH(bool, allDataSent);
    UploadFixture f;
    f.entry.RetransmitMs = 30;
    f.entry.WindowSize = 4;
    f.setFile(PatternBytes(1500));
    f.server.script = [&](const Datagram& d) {
        if (d.opcode() == Tftp::OpWriteRequest) {
            f.server.answer(OptionAck({"windowsize", "4"}));
        } else if (acked > 0 && d.isBlock(quint16(acked))) {
            f.server.answer(ScriptedTftpServer::ack(quint16(acked)));
        }
    };
    QCOMPARE(f.run(), int(trTimeout));
    QCOMPARE(f.upload.AllDataSent(), allDataSent);
}

void TestUploadOptions::requestWithinABlock_data() {
    QTest::addColumn<int>("nameLength");
    QTest::addColumn<QByteArray>("options"); // what the request asks, after the mode
    QTest::addColumn<int>("leftOut");
    // clang-format off
    QTest::newRow("room for all")
        << 400 << QByteArray("blksize\0" "1024\0" "windowsize\0" "4\0" "tsize\0" "3000\0", 37) << 0;
    QTest::newRow("no room for the size")
        << 470 << QByteArray("blksize\0" "1024\0" "windowsize\0" "4\0", 26) << 1;
    // clang-format on
    QTest::newRow("room for none") << 500 << QByteArray() << 3;
}

void TestUploadOptions::requestWithinABlock() {
    // A request with options holds at most 512 bytes (RFC 2347): a long remote name leaves out
    // what does not fit, the least needed first, and the upload goes on.
    QFETCH(int, nameLength);
    QFETCH(QByteArray, options);
    QFETCH(int, leftOut);
    UploadFixture f;
    f.entry.BlkSize = 1024;
    f.entry.WindowSize = 4;
    f.entry.RemoteFile = QString(nameLength, u'n');
    f.setFile(PatternBytes(3000));
    f.server.onceAtBlock(0, [&](const Datagram&) {
        f.server.answer(options.isEmpty() ? ScriptedTftpServer::ack(0)
                                          : OptionAck({"blksize", "1024", "windowsize", "1"}));
    });
    QCOMPARE(f.run(), int(trCompleted));
    const QByteArray request = f.server.received.first().bytes;
    QVERIFY(request.size() <= 512);
    QCOMPARE(request.mid(2 + nameLength + 1 + 6), options);
    QCOMPARE(f.trace().filter("left out: the request would be longer than 512 bytes").size(),
             leftOut);
    QCOMPARE(f.server.file(), PatternBytes(3000));
}

void TestUploadOptions::progressCountsGrantedBlocks() {
    UploadFixture f;
    f.entry.BlkSize = 1468;
    f.setFile(PatternBytes(100 * 1024));
    WindowedReceiver receiver(f.server, OptionAck({"blksize", "1024"}), 1, 1024);
    QCOMPARE(f.run(), int(trCompleted));
    // Every 32 blocks of the size granted, not of the size asked for, nor of 512.
    QCOMPARE(f.progress, (QList<qint64>{0, 32 * 1024, 64 * 1024, 96 * 1024, 100 * 1024}));
}

QTEST_GUILESS_MAIN(TestUploadOptions)
#include "tst_uploadoptions.moc"
