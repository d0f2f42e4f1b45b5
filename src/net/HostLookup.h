#pragma once

#include "net/SocketAddress.h"

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

// Looks a host name up without holding up the event loop: the resolver, which may wait seconds
// for a name server, runs on a thread of its own, and the addresses are reported through
// OnFound on the thread that owns the look-up. An address needs no resolver and is reported
// before Start returns.
class THostLookup : public QObject {
    Q_OBJECT

public:
    explicit THostLookup(QObject* Owner = nullptr);
    ~THostLookup() override;

    // Called with the host's addresses, IPv4 first; empty when the host was not found, and then
    // Why() says why when the name may exist all the same.
    std::function<void(const QList<TSocketAddress>& Addresses)> OnFound;
    // Called instead, from the event loop, when the look-up could not start: the system had no
    // pipe or thread to spare. Why says so.
    std::function<void(const QString& Why)> OnFailed;
    // What looks a name up, on the look-up's thread, and may say why it found nothing;
    // ResolveHost unless a test says otherwise.
    using TResolver = std::function<QList<TSocketAddress>(const QString& Host, QString* Why)>;
    TResolver Resolver = ResolveHost;
    // Why the last look-up found no address, if it was not that the name is unknown.
    QString Why() const { return FWhy; }

    // Starts looking Host up; a look-up under way is forgotten.
    void Start(const QString& Host);
    // Forgets the look-up under way: OnFound will not be called for it.
    void Cancel();

private:
    struct TResult;
    void Arrived();
    void Failed(const QString& Why);

    std::shared_ptr<TResult> Result;
    QSocketNotifier* Waiting = nullptr;
    // Counts the look-ups started and forgotten, so that a failure told later is told only for
    // the look-up it belongs to.
    quint64 Generation = 0;
    QString FWhy;
};
