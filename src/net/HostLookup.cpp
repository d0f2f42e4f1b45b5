#include "net/HostLookup.h"

#include "net/ApplicationException.h"

#include <QSocketNotifier>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

// Shared by the look-up and its thread, so that a look-up forgotten or destroyed while the
// resolver still waits leaves the thread something to write to. The thread says it is done
// through a pipe, which the owner's event loop watches.
struct THostLookup::TResult {
    TResult() {
        if (pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            Pipe[0] = Pipe[1] = -1;
        }
    }
    ~TResult() {
        for (const int fd : Pipe) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    std::mutex Lock;
    QList<TSocketAddress> Addresses;
    int Pipe[2];
};

THostLookup::THostLookup(QObject* Owner)
    : QObject(Owner) {}

THostLookup::~THostLookup() {
    Cancel();
}

void THostLookup::Start(const QString& Host) {
    Cancel();
    const QList<TSocketAddress> numeric = ResolveNumericHost(Host);
    if (!numeric.isEmpty()) {
        if (OnFound) {
            OnFound(numeric);
        }
        return;
    }
    auto result = std::make_shared<TResult>();
    if (result->Pipe[0] < 0) {
        // Without a pipe the thread could not say it is done: look the name up here instead.
        if (OnFound) {
            OnFound(Resolver(Host));
        }
        return;
    }
    Result = result;
    Waiting = new QSocketNotifier(result->Pipe[0], QSocketNotifier::Read, this);
    connect(Waiting, &QSocketNotifier::activated, this, Guarded([this] { Arrived(); }));
    std::thread([result, resolver = Resolver, host = Host] {
        QList<TSocketAddress> found = resolver(host);
        {
            const std::lock_guard<std::mutex> locked(result->Lock);
            result->Addresses = std::move(found);
        }
        const char done = 1;
        [[maybe_unused]] const ssize_t written = write(result->Pipe[1], &done, 1);
    }).detach();
}

void THostLookup::Cancel() {
    if (Waiting) {
        Waiting->setEnabled(false);
        Waiting->deleteLater();
        Waiting = nullptr;
    }
    Result.reset();
}

void THostLookup::Arrived() {
    if (!Result) {
        return;
    }
    QList<TSocketAddress> found;
    {
        const std::lock_guard<std::mutex> locked(Result->Lock);
        found = Result->Addresses;
    }
    Cancel();
    if (OnFound) {
        OnFound(found);
    }
}
