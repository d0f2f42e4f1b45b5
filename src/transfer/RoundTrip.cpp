#include "transfer/RoundTrip.h"

namespace {

// Copies come within a few round trips of the original. The least window covers a busy machine
// that reads an answer late, and stays well below the 100 ms after which the quickest servers
// (busybox's tftpd) repeat an acknowledgement on their own.
constexpr qint64 LeastWindowNs = 20'000'000;
constexpr qint64 LeastAnswerNs = 1'000'000;
constexpr qint64 RoundTrips = 3;
constexpr qint64 Variations = 4;
constexpr qint64 UnmeasuredDivisor = 10;

} // namespace

void TRoundTrip::Sample(qint64 Ns) {
    // The smoothing of TCP's retransmission timer (RFC 6298).
    if (FSmoothedNs < 0) {
        FSmoothedNs = Ns;
        VariationNs = Ns / 2;
        return;
    }
    // An answer long after the send may not be the answer to it: the server's own repeat,
    // after the answers before it were lost, comes once, late. A path that has slowed keeps
    // answering late, and the window doubles with each answer until it holds it.
    Ns = qMin(Ns, 2 * qMax(SpreadNs(), LeastWindowNs));
    VariationNs = (3 * VariationNs + qAbs(FSmoothedNs - Ns)) / 4;
    FSmoothedNs = (7 * FSmoothedNs + Ns) / 8;
}

qint64 TRoundTrip::SpreadNs() const {
    return RoundTrips * FSmoothedNs + Variations * VariationNs;
}

qint64 TRoundTrip::Within(qint64 LeastNs, qint64 PeriodNs) const {
    if (FSmoothedNs < 0) {
        return PeriodNs / UnmeasuredDivisor;
    }
    return qMin(qMax(SpreadNs(), LeastNs), PeriodNs);
}

qint64 TRoundTrip::CopyWindowNs(qint64 PeriodNs) const {
    return Within(LeastWindowNs, PeriodNs);
}

qint64 TRoundTrip::AnswerWithinNs(qint64 PeriodNs) const {
    return Within(LeastAnswerNs, PeriodNs);
}
