#include "transfer/RetransmitTimer.h"

#include <QTimer>

namespace {

constexpr qint64 NsPerMs = 1000000;

} // namespace

TRetransmitTimer::TRetransmitTimer(QObject* parent)
    : QObject(parent)
    , Alarm(new QTimer(this)) {
    Alarm->setSingleShot(true);
    Alarm->setTimerType(Qt::PreciseTimer);
    connect(Alarm, &QTimer::timeout, this, &TRetransmitTimer::Expired);
    Clock.start();
}

void TRetransmitTimer::setInterval(int Ms) {
    IntervalMs = Ms;
}

void TRetransmitTimer::start() {
    if (Armed) {
        return;
    }
    Armed = true;
    DeadlineNs = Clock.nsecsElapsed() + IntervalMs * NsPerMs;
    // An alarm still set from an earlier period that rings no later than this deadline sets
    // itself for the rest then.
    if (!Alarm->isActive() || AlarmNs > DeadlineNs) {
        WakeAt(DeadlineNs);
    }
}

void TRetransmitTimer::stop() {
    Armed = false;
}

void TRetransmitTimer::WakeAt(qint64 Ns) {
    AlarmNs = Ns;
    const qint64 remaining = Ns - Clock.nsecsElapsed();
    // Rounded up, so that the alarm never rings before the deadline.
    Alarm->start(int(qMax<qint64>(0, (remaining + NsPerMs - 1) / NsPerMs)));
}

void TRetransmitTimer::Expired() {
    if (!Armed) {
        return;
    }
    const qint64 now = Clock.nsecsElapsed();
    if (now < DeadlineNs) {
        WakeAt(DeadlineNs);
        return;
    }
    // The next period follows this one without drift, unless the loop was held up past it.
    DeadlineNs += IntervalMs * NsPerMs;
    if (DeadlineNs <= now) {
        DeadlineNs = now + IntervalMs * NsPerMs;
    }
    WakeAt(DeadlineNs);
    emit timeout();
}
