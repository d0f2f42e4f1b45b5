#include "net/HostLookup.h"

#include "net/ApplicationException.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <system_error>
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
    QString Why;
    int Pipe[2];
};

THostLookup::THostLookup(QObject* Owner)
    : QObject(Owner) {}

THostLookup::~THostLookup() {
    Cancel();
}

void THostLookup::Start(const QString& Host) {
    Cancel();
    FWhy.clear();
    const QList<TSocketAddress> numeric = ResolveNumericHost(Host);
    if (!numeric.isEmpty()) {
        if (OnFound) {
            OnFound(numeric);
        }
        return;
    }
    auto result = std::make_shared<TResult>();
    if (result->Pipe[0] < 0) {
        // Looking the name up here instead would hold up every other upload for as long as
        // the name servers take.
        Failed(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    Result = result;
    Waiting = new QSocketNotifier(result->Pipe[0], QSocketNotifier::Read, this);
    connect(Waiting, &QSocketNotifier::activated, this, Guarded([this] { Arrived(); }));
    try {
        std::thread([result, resolver = Resolver, host = Host] {
            QString why;
            QList<TSocketAddress> found = resolver(host, &why);
            {
                const std::lock_guard<std::mutex> locked(result->Lock);
                result->Addresses = std::move(found);
                result->Why = std::move(why);
            }
            const char done = 1;
            [[maybe_unused]] const ssize_t written = write(result->Pipe[1], &done, 1);
        }).detach();
    } catch (const std::system_error& e) {
        Cancel();
        Failed(QString::fromLocal8Bit(e.code().message()));
    }
}

void THostLookup::Failed(const QString& Why) {
    // Told from the event loop, as a look-up's end always is, so that whoever started it may
    // start the next one from OnFailed without going deeper at each.
    QTimer::singleShot(0, this, Guarded([this, Why, generation = Generation] {
                           if (generation == Generation && OnFailed) {
                               OnFailed(Why);
                           }
                       }));
}

void THostLookup::Cancel() {
    ++Generation;
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
        FWhy = Result->Why;
    }
    Cancel();
    if (OnFound) {
        OnFound(found);
    }
}
