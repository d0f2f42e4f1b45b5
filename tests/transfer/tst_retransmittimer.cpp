#include "transfer/RetransmitTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

class TestRetransmitTimer : public QObject {
    Q_OBJECT

private slots:
    void stoppedAndStartedAgain_data();
    void stoppedAndStartedAgain();
    void loopHeldUpForSeveralPeriods();
};

void TestRetransmitTimer::stoppedAndStartedAgain_data() {
    QTest::addColumn<int>("firstMs");
    QTest::addColumn<int>("againMs"); // 0: not started again
    QTest::addColumn<bool>("fires");
    // The first period's alarm still rings after the stop in both rows.
    QTest::newRow("stopped: silent") << 30 << 0 << false;
    QTest::newRow("an earlier deadline sets the alarm again") << 5000 << 30 << true;
}

void TestRetransmitTimer::stoppedAndStartedAgain() {
    QFETCH(int, firstMs);
    QFETCH(int, againMs);
    QFETCH(bool, fires);
    TRetransmitTimer timer;
    QSignalSpy timeouts(&timer, &TRetransmitTimer::timeout);
    timer.setInterval(firstMs);
    timer.start();
    timer.stop();
    if (againMs > 0) {
        timer.setInterval(againMs);
        timer.start();
    }
    QCOMPARE(timeouts.wait(500), fires);
}

void TestRetransmitTimer::loopHeldUpForSeveralPeriods() {
    constexpr int Period = 50;
    TRetransmitTimer timer;
    QSignalSpy timeouts(&timer, &TRetransmitTimer::timeout);
    timer.setInterval(Period);
    timer.start();
    // A modal box, or a suspended machine: the event loop runs again four periods later.
    QElapsedTimer held;
    held.start();
    while (held.elapsed() < 4 * Period) {
    }
    QVERIFY(timeouts.wait(Period));
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    // One time-out for all the periods missed, not a burst that would end an upload at once.
    QCoreApplication::processEvents();
    QCOMPARE(timeouts.size(), 1);
    QVERIFY(timeouts.wait(4 * Period));
    QVERIFY2(sinceFirst.elapsed() >= Period - 1, qPrintable(QString::number(sinceFirst.elapsed())));
}

QTEST_GUILESS_MAIN(TestRetransmitTimer)
#include "tst_retransmittimer.moc"
