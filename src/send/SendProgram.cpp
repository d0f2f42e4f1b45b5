#include "send/SendProgram.h"

#include "entries/CodePage.h"
#include "entries/EEntryStoreError.h"
#include "entries/EntryList.h"
#include "entries/EntryStore.h"
#include "net/SocketAddress.h"
#include "send/LocalCopy.h"
#include "send/OpenFiles.h"
#include "send/SendBatch.h"
#include "send/SendCommand.h"
#include "send/SendConsole.h"
#include "transfer/Upload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

// The operands name no entry, or several: said in one line, without the usage.
struct TNameError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

struct TUsageError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// The store holds no entries at all, so no name can be one.
struct TNoEntries : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

[[noreturn]] void Refuse(const QString& message) {
    throw TUsageError(message.toStdString());
}

[[noreturn]] void NoSuchEntry(const QString& message) {
    throw TNameError(message.toStdString());
}

// One upload and how its result line names where the file went.
struct TSendJob {
    TServerEntry Entry;
    bool Saved = false;
};

// The uploads the operands ask for.
std::vector<TSendJob> Uploads(const TEntryList& entries, const QStringList& operands) {
    const QString& first = operands.constFirst();
    // An address is a host, whatever entry names start like it.
    const std::optional<THostPort> address = ParseHostPort(first);
    const bool isAddress = address && IsIpAddress(address->Host);
    const TEntryMatch match = isAddress ? TEntryMatch() : FindEntry(entries, first);
    const bool exact = match.Entry && match.Entry->EntryName == first;
    // Followed by files, a name is an entry's only when it is the whole name: "tftp1 fw.bin
    // startup.cfg" sends fw.bin to the host tftp1, whatever entry "tftp1-lab" there is.
    const bool prefixMeant = operands.size() == 1 && !LooksLikeHostWithPort(first);
    if (match.Entry && (exact || prefixMeant)) {
        std::vector<TSendJob> uploads;
        if (operands.size() == 1) {
            uploads.push_back({*match.Entry, true});
        }
        for (const QString& file : operands.sliced(1)) {
            uploads.push_back({WithLocalFile(*match.Entry, file), true});
        }
        return uploads;
    }
    if (!match.Candidates.isEmpty() && prefixMeant) {
        NoSuchEntry(QStringLiteral("\"%1\" could be any of: %2")
                        .arg(first, match.Candidates.join(QStringLiteral(", "))));
    }
    if (operands.size() < 2 && entries.Count() == 0 && !isAddress) {
        throw TNoEntries("no entries");
    }
    if (operands.size() < 2 && isAddress) {
        NoSuchEntry(QStringLiteral("\"%1\" is an address, never an entry: name a LOCAL file to "
                                   "send to it")
                        .arg(first));
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
    if (entry.LocalFile == StandardInput && operands.size() < 3) {
        Refuse(QStringLiteral("standard input (-) needs a REMOTE name"));
    }
    entry.RemoteFile = operands.size() == 3 ? operands[2] : QFileInfo(operands[1]).fileName();
    return {{entry, false}};
}

// Runs one upload in the event loop and reports it on standard error as asked.
TUploadReport Upload(const TSendJob& job, const TSendArguments& args, const QString& label,
                     bool& interrupted) {
    TTerminalLines terminal = TTerminalLines::For(args);
    TUpload upload;
    // Every peer sends an empty file as one empty block; the window refuses it.
    upload.SetSendsEmptyFiles(true);
    QEventLoop loop;
    TransferResult result = trAborted;
    qint64 acked = 0;
    qint64 total = 0;
    QElapsedTimer clock;
    if (args.Trace) {
        upload.OnTrace = [](const QString& line) {
            Print(stderr, line + u'\n');
        };
    }
    upload.OnProgress = [&](qint64 Acked, qint64 Total) {
        acked = Acked;
        total = Total;
        if (terminal.Due(false)) {
            Print(stderr,
                  u'\r' +
                      terminal.Fitted(label, ProgressLine(acked, total, clock.elapsed() / 1000.0)) +
                      QStringLiteral("\x1b[K"));
        }
    };
    bool waitTold = false;
    upload.OnWait = [&](int secondsLeft) {
        // Without a terminal the wait is said once, as it begins.
        if (!terminal.Draws() && !args.Quiet && !std::exchange(waitTold, true)) {
            Print(stderr, label + WaitingLine(secondsLeft) + u'\n');
        }
        if (terminal.Draws()) {
            Print(stderr, u'\r' + terminal.Fitted(label, WaitingLine(secondsLeft)) +
                              QStringLiteral("\x1b[K"));
        }
    };
    upload.OnEnd = [&](TransferResult ended) {
        result = ended;
        loop.quit();
    };
    const auto interrupt = OnInterrupt(&loop, [&] {
        interrupted = true;
        upload.Abort();
    });
    TServerEntry entry = job.Entry;
    const TLocalCopy copy = LocalCopyFor(entry);
    clock.start();
    if (copy.File) {
        entry.LocalFile = copy.File->fileName();
    }
    const QString failure = copy.Failure;
    if (copy.Interrupted) {
        interrupted = true;
    } else if (!failure.isEmpty()) {
        result = trFileOpenError;
    } else {
        QTimer::singleShot(0, &loop, [&] { upload.Start(entry); });
        loop.exec();
    }
    TUploadReport report = Report(job.Entry, job.Saved, upload, result);
    report.Seconds = clock.elapsed() / 1000.0;
    if (!failure.isEmpty()) {
        report.Failure = failure;
    }
    if (!args.Quiet) {
        Print(stderr, (terminal.Draws() ? QStringLiteral("\r\x1b[K") : QString()) + label +
                          report.Line() + u'\n');
    }
    return report;
}

// Says what was wrong with the command line, then how it goes.
int UsageError(const char* message) {
    Print(stderr,
          QStringLiteral("zanvel-send: %1\n").arg(QString::fromUtf8(message)) + SendUsage());
    return ExitUsage;
}

} // namespace

int RunSend(int argc, char** argv) {
    // A closed pipe is a write that fails and is said so, not the end of the program in the
    // middle of an upload.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    TSendArguments args;
    try {
        // The arguments as the bytes typed: a file name need not be UTF-8.
        QStringList arguments;
        for (int i = 1; i < argc; ++i) {
            arguments.append(DecodeSystemName(argv[i]));
        }
        args = ParseSendArguments(arguments);
    } catch (const std::invalid_argument& e) {
        return UsageError(e.what());
    }
    if (args.Help) {
        return Print(stdout, SendUsage()) ? 0 : OutputFailed(QStringLiteral("the usage"), errno);
    }
    if (args.Version) {
        return Print(stdout, QStringLiteral("zanvel-send %1\n").arg(QLatin1String(ZANVEL_VERSION)))
                   ? 0
                   : OutputFailed(QStringLiteral("the version"), errno);
    }

    const QString store = args.Store.isEmpty() ? EntryStoreLocation().ReadPath() : args.Store;
    TEntryList entries;
    try {
        // A store named on the command line must be there; the program's own may not be yet.
        if (!args.Store.isEmpty() && !QFileInfo::exists(store)) {
            throw EEntryStoreError("no such store");
        }
        QStringList ignored;
        LoadEntries(entries, store, &ignored);
        for (const QString& key : ignored) {
            Print(stderr, QStringLiteral("zanvel-send: %1\n").arg(key));
        }
    } catch (const EEntryStoreError&) {
        Print(stderr, QStringLiteral("zanvel-send: cannot read the entries in %1\n").arg(store));
        return ExitStoreUnreadable;
    }
    const auto noEntries = [&] {
        Print(stderr, QStringLiteral("zanvel-send: no entries in %1\n").arg(store));
        return ExitStoreUnreadable;
    };
    if (args.List) {
        // A list not made yet has no entries either.
        if (entries.Count() == 0) {
            return noEntries();
        }
        bool written = true;
        for (int i = 0; i < entries.Count() && written; ++i) {
            const TServerEntry* e = entries.Get(i);
            written = Print(stdout,
                            QStringList{e->EntryName, e->ServerAddress,
                                        QString::number(e->ServerPort), e->LocalFile, e->RemoteFile}
                                    .join(u'\t') +
                                u'\n');
        }
        if (!written) {
            return OutputFailed(QStringLiteral("the list"), errno);
        }
        return 0;
    }

    if (!args.Each.isEmpty()) {
        OpenFiles::RaiseLimit();
        return SendEach(entries, args);
    }
    std::vector<TSendJob> uploads;
    try {
        uploads = Uploads(entries, args.Operands);
    } catch (const TNoEntries&) {
        return noEntries();
    } catch (const TNameError& e) {
        Print(stderr, QStringLiteral("zanvel-send: %1\n").arg(QString::fromUtf8(e.what())));
        return ExitUsage;
    } catch (const TUsageError& e) {
        return UsageError(e.what());
    }
    CatchInterrupt();
    int status = 0;
    bool interrupted = false;
    for (TSendJob& job : uploads) {
        OverrideEntry(job.Entry, args);
    }
    for (const TSendJob& job : uploads) {
        const QString label =
            uploads.size() > 1 ? job.Entry.LocalFile + QStringLiteral(": ") : QString();
        const TUploadReport report = Upload(job, args, label, interrupted);
        if (args.Json && !PrintJson(report)) {
            return OutputFailed(QStringLiteral("the report"), errno);
        }
        if (interrupted) {
            return TransferResultExitStatus(trAborted);
        }
        if (status == 0) {
            status = report.ExitStatus();
        }
    }
    return status;
}
