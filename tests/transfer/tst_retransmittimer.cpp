#include "transfer/RetransmitTimer.h"

#include <QSignalSpy>
#include <QTest>

class TestRetransmitTimer : public QObject {
    Q_OBJECT

private slots:
    void stoppedWhileItsAlarmRingsStaysSilent();
    void earlierDeadlineSetsTheAlarmAgain();
};

void TestRetransmitTimer::stoppedWhileItsAlarmRingsStaysSilent() {
    TRetransmitTimer timer;
    QSignalSpy timeouts(&timer, &TRetransmitTimer::timeout);
    timer.setInterval(30);
    timer.start();
    timer.stop();
    QTest::qWait(100);
    QCOMPARE(timeouts.count(), 0);
    QVERIFY(!timer.isActive());
}

void TestRetransmitTimer::earlierDeadlineSetsTheAlarmAgain() {
    TRetransmitTimer timer;
    QSignalSpy timeouts(&timer, &TRetransmitTimer::timeout);
    // The alarm of a long period still rings when a short one starts.
    timer.setInterval(5000);
    timer.start();
    timer.stop();
    timer.setInterval(30);
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 1, 2000);
}

QTEST_GUILESS_MAIN(TestRetransmitTimer)
#include "tst_retransmittimer.moc"
