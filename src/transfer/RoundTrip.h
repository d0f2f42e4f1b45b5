#pragma once

#include <QtGlobal>

// How long the server takes to answer, smoothed over the answers to packets sent once (which of
// a resent packet's sends an answer is for cannot be told), and from it how soon after a send a
// repeated acknowledgement is a copy the network made rather than the server's own repeat.
class TRoundTrip {
public:
    void Sample(qint64 Ns);
    // A repeat that comes sooner than this after the last send is a copy: a few round trips,
    // but no less than a busy machine may take to read an answer that came at once, and no
    // more than the retransmission period. A tenth of the period until the server has answered.
    qint64 CopyWindowNs(qint64 PeriodNs) const;
    // How long an answer takes at most, as far as the answers so far tell: a few round trips,
    // at least a millisecond, and no more than the retransmission period. A tenth of the period
    // until the server has answered.
    qint64 AnswerWithinNs(qint64 PeriodNs) const;

private:
    // A few round trips and their variation.
    qint64 SpreadNs() const;
    // The spread, no less than LeastNs and no more than the period.
    qint64 Within(qint64 LeastNs, qint64 PeriodNs) const;

    qint64 FSmoothedNs = -1;
    qint64 VariationNs = 0;
};
