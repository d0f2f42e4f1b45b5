#include "send/SendProgram.h"

#include "entries/EEntryStoreError.h"
#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "send/SendCommand.h"
#include "transfer/Upload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace {

// The progress line is redrawn at most this often.
constexpr qint64 RedrawMs = 100;

void Print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Ctrl+C writes a byte here from the signal handler; the event loop reads it and aborts.
int InterruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(InterruptPipe[1], &byte, 1);
}

void CatchInterrupt() {
    if (pipe2(InterruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

// The operands name no entry, or several: said in one line, without the usage.
struct TNameError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

struct TUsageError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

[[noreturn]] void Refuse(const QString& message) {
    throw TUsageError(message.toStdString());
}

[[noreturn]] void NoSuchEntry(const QString& message) {
    throw TNameError(message.toStdString());
}

// The uploads the operands ask for.
std::vector<TServerEntry> Uploads(const TEntryList& entries, const QStringList& operands) {
    const QString& first = operands.constFirst();
    const TEntryMatch match = FindEntry(entries, first);
    const bool exact = match.Entry && match.Entry->EntryName == first;
    if (match.Entry && (exact || !LooksLikeHostWithPort(first))) {
        std::vector<TServerEntry> uploads;
        if (operands.size() == 1) {
            uploads.push_back(*match.Entry);
        }
        for (const QString& file : operands.sliced(1)) {
            TServerEntry each = *match.Entry;
            each.LocalFile = file;
            uploads.push_back(each);
        }
        return uploads;
    }
    if (!match.Candidates.isEmpty() && !LooksLikeHostWithPort(first)) {
        NoSuchEntry(QStringLiteral("\"%1\" could be any of: %2")
                        .arg(first, match.Candidates.join(QStringLiteral(", "))));
    }
    if (operands.size() < 2) {
        NoSuchEntry(QStringLiteral("no entry named \"%1\"").arg(first));
    }
    if (operands.size() > 3) {
        Refuse(QStringLiteral("a host takes one LOCAL file and at most one REMOTE name"));
    }
    const std::optional<THostPort> host = ParseHostPort(first);
    if (!host) {
        Refuse(QStringLiteral("\"%1\" is neither an entry nor HOST[:PORT]").arg(first));
    }
    TServerEntry entry;
    entry.EntryName = first;
    entry.ServerAddress = host->Host;
    entry.ServerPort = host->Port;
    entry.LocalFile = operands[1];
    entry.RemoteFile = operands.size() == 3 ? operands[2] : QFileInfo(operands[1]).fileName();
    return {entry};
}

// Runs one upload in the event loop and reports it on standard error as asked.
TransferResult Upload(const TServerEntry& entry, const TSendArguments& args, const QString& label,
                      bool& interrupted) {
    const bool terminal = isatty(fileno(stderr)) && !args.Quiet && !args.Trace;
    TUpload upload;
    if (args.RetransmitMs > 0) {
        upload.Timer1->setInterval(args.RetransmitMs);
    }
    QEventLoop loop;
    TransferResult result = trAborted;
    qint64 acked = 0;
    qint64 total = 0;
    QElapsedTimer clock;
    QElapsedTimer sinceRedraw;
    if (args.Trace) {
        upload.OnTrace = [](const QString& line) {
            Print(stderr, line + u'\n');
        };
    }
    upload.OnProgress = [&](qint64 Acked, qint64 Total) {
        acked = Acked;
        total = Total;
        if (terminal && (!sinceRedraw.isValid() || sinceRedraw.elapsed() >= RedrawMs)) {
            sinceRedraw.start();
            Print(stderr, u'\r' + label + ProgressLine(acked, total, clock.elapsed() / 1000.0) +
                              QStringLiteral("\x1b[K"));
        }
    };
    upload.OnEnd = [&](TransferResult ended) {
        result = ended;
        loop.quit();
    };
    // Without the pipe, Ctrl+C ends the program the default way.
    std::unique_ptr<QSocketNotifier> interrupt;
    if (InterruptPipe[0] >= 0) {
        interrupt = std::make_unique<QSocketNotifier>(InterruptPipe[0], QSocketNotifier::Read);
        QObject::connect(interrupt.get(), &QSocketNotifier::activated, &loop, [&] {
            char byte;
            while (read(InterruptPipe[0], &byte, 1) > 0) {
            }
            interrupted = true;
            upload.Abort();
        });
    }
    QTimer::singleShot(0, &loop, [&] {
        clock.start();
        upload.Start(entry);
    });
    loop.exec();
    if (!args.Quiet) {
        Print(stderr, (terminal ? QStringLiteral("\r\x1b[K") : QString()) + label +
                          ResultLine(result, total, clock.elapsed() / 1000.0) + u'\n');
    }
    return result;
}

// Says what was wrong with the command line, then how it goes.
int UsageError(const char* message) {
    Print(stderr,
          QStringLiteral("zanvel-send: %1\n").arg(QString::fromUtf8(message)) + SendUsage());
    return ExitUsage;
}

} // namespace

int RunSend(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TSendArguments args;
    try {
        args = ParseSendArguments(app.arguments().mid(1));
    } catch (const std::invalid_argument& e) {
        return UsageError(e.what());
    }
    if (args.Help) {
        Print(stdout, SendUsage());
        return 0;
    }
    if (args.Version) {
        Print(stdout, QStringLiteral("zanvel-send %1\n").arg(QLatin1String(ZANVEL_VERSION)));
        return 0;
    }

    const QString store = args.Store.isEmpty() ? EntryStoreLocation().ReadPath() : args.Store;
    TEntryList entries;
    try {
        // A store named on the command line must be there; the program's own may not be yet.
        if (!args.Store.isEmpty() && !QFileInfo::exists(store)) {
            throw EEntryStoreError("no such store");
        }
        LoadEntries(entries, store);
    } catch (const EEntryStoreError&) {
        Print(stderr, QStringLiteral("zanvel-send: cannot read the entries in %1\n").arg(store));
        return ExitStoreUnreadable;
    }
    if (args.List) {
        for (int i = 0; i < entries.Count(); ++i) {
            const TServerEntry* e = entries.Get(i);
            Print(stdout, QStringList{e->EntryName, e->ServerAddress,
                                      QString::number(e->ServerPort), e->LocalFile, e->RemoteFile}
                                  .join(u'\t') +
                              u'\n');
        }
        return 0;
    }

    std::vector<TServerEntry> uploads;
    try {
        uploads = Uploads(entries, args.Operands);
    } catch (const TNameError& e) {
        Print(stderr, QStringLiteral("zanvel-send: %1\n").arg(QString::fromUtf8(e.what())));
        return ExitUsage;
    } catch (const TUsageError& e) {
        return UsageError(e.what());
    }
    CatchInterrupt();
    int status = 0;
    bool interrupted = false;
    for (TServerEntry& entry : uploads) {
        if (args.BlkSize > 0) {
            entry.BlkSize = args.BlkSize;
        }
        if (args.WindowSize > 0) {
            entry.WindowSize = args.WindowSize;
        }
    }
    for (const TServerEntry& entry : uploads) {
        const QString label =
            uploads.size() > 1 ? entry.LocalFile + QStringLiteral(": ") : QString();
        const TransferResult result = Upload(entry, args, label, interrupted);
        if (interrupted) {
            return TransferResultExitStatus(trAborted);
        }
        if (status == 0) {
            status = TransferResultExitStatus(result);
        }
    }
    return status;
}
