#include "transfer/RoundTrip.h"

#include <QTest>

namespace {

constexpr qint64 Ms = 1000000;

} // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

private slots:
    void copyWindow_data();
    void copyWindow();
};

void TestRoundTrip::copyWindow_data() {
    QTest::addColumn<QList<qint64>>("samplesMs");
    QTest::addColumn<qint64>("periodMs");
    QTest::addColumn<qint64>("leastMs");
    QTest::addColumn<qint64>("mostMs");
    QTest::newRow("no answer yet: a tenth of the period")
        << QList<qint64>() << 5000LL << 500LL << 500LL;
    QTest::newRow("loopback: the least window") << QList<qint64>(20, 0) << 5000LL << 20LL << 20LL;
    QTest::newRow("steady 300 ms: three round trips")
        << QList<qint64>(40, 300) << 5000LL << 900LL << 910LL;
    QTest::newRow("never beyond the period") << QList<qint64>(40, 300) << 1000LL << 900LL << 1000LL;
    QTest::newRow("a period shorter than the least window")
        << QList<qint64>{0} << 5LL << 5LL << 5LL;
    // A slow first answer (the server opening the file) fades once blocks come back quickly.
    QList<qint64> slowStart(40, 1);
    slowStart.prepend(400);
    QTest::newRow("slow first answer fades") << slowStart << 5000LL << 20LL << 30LL;
    // The path slows down: the window doubles with each late answer until it holds the new
    // round trip.
    QList<qint64> slowing(40, 10);
    slowing.append(200);
    QTest::newRow("a late answer widens the window") << slowing << 5000LL << 80LL << 120LL;
    slowing.append({200, 200, 200});
    QTest::newRow("late answers widen it to the new round trip")
        << slowing << 5000LL << 600LL << 1000LL;
    // After two lost acknowledgements the server repeats its own 400 ms after the block: that
    // is no round trip, and the server's next repeat, a tenth of a second after a lost block,
    // must not pass for a copy.
    QList<qint64> repeat(40, 0);
    repeat.append(400);
    QTest::newRow("the server's own repeat, once") << repeat << 5000LL << 20LL << 90LL;
}

void TestRoundTrip::copyWindow() {
    QFETCH(QList<qint64>, samplesMs);
    QFETCH(qint64, periodMs);
    QFETCH(qint64, leastMs);
    QFETCH(qint64, mostMs);
    TRoundTrip roundTrip;
    for (const qint64 sample : samplesMs) {
        roundTrip.Sample(sample * Ms);
    }
    const qint64 window = roundTrip.CopyWindowNs(periodMs * Ms);
    QVERIFY2(window >= leastMs * Ms && window <= mostMs * Ms,
             qPrintable(QString::number(double(window) / Ms)));
}

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
