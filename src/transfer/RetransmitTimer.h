#pragma once

#include <QElapsedTimer>
#include <QObject>

class QTimer;

// A periodic timer for a period that is stopped and started again for every packet of an
// upload: stopping and starting cost a clock read, and the system timer underneath is set again
// only when it runs out. It never fires early: the k-th timeout comes at least k intervals after
// the start.
class TRetransmitTimer : public QObject {
    Q_OBJECT

public:
    explicit TRetransmitTimer(QObject* parent = nullptr);

    void setInterval(int Ms);
    int interval() const { return IntervalMs; }
    bool isActive() const { return Armed; }
    // Starts a period now; a running period goes on unchanged.
    void start();
    void stop();

signals:
    void timeout();

private:
    void Expired();
    void WakeAt(qint64 Ns);

    QTimer* Alarm;
    QElapsedTimer Clock;
    qint64 DeadlineNs = 0;
    qint64 AlarmNs = 0;
    int IntervalMs = 0;
    bool Armed = false;
};
