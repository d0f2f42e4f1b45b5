#include "send/SendBatch.h"

#include "entries/EntryList.h"
#include "send/LocalCopy.h"
#include "send/OpenFiles.h"
#include "send/SendCommand.h"
#include "send/SendConsole.h"
#include "transfer/Upload.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStringList>
#include <QTemporaryFile>
#include <QTimer>
#include <cerrno>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// One entry's upload: waiting to start, running, or ended with its report.
struct TBatchUpload {
    TServerEntry Entry;
    std::unique_ptr<TUpload> Upload;
    QElapsedTimer Clock;
    qint64 Acked = 0;
    qint64 Total = 0;
    int WaitLeft = 0;
    bool Ended = false;
    TUploadReport Report;
    // What the upload sends instead of the entry's file, when that has to be copied first.
    TLocalCopy Copy;
};

class TBatch {
public:
    TBatch(std::vector<TServerEntry> entries, const TSendArguments& args, int jobs)
        : Args(args)
        , Jobs(jobs)
        , Terminal(TTerminalLines::For(args)) {
        for (TServerEntry& entry : entries) {
            Uploads.push_back(TBatchUpload{std::move(entry), nullptr, {}, 0, 0, 0, false, {}, {}});
        }
    }

    // Runs every upload; false when Ctrl+C ended the run.
    bool Run() {
        const auto interrupt = OnInterrupt(&Loop, [this] { Interrupt(); });
        QTimer::singleShot(0, &Loop, [this] { StartMore(); });
        Loop.exec();
        if (Terminal.Draws()) {
            Print(stderr, ClearBlock());
        }
        return !Interrupted;
    }

    const std::vector<TBatchUpload>& Results() const { return Uploads; }
    // Reports the uploads that never started, with --json too.
    void NotStarted() {
        for (TBatchUpload& job : Uploads) {
            if (job.Upload || job.Ended) {
                continue;
            }
            job.Report.EntryName = job.Entry.EntryName;
            job.Report.Server = job.Entry.ServerAddress;
            job.Report.Port = job.Entry.ServerPort;
            job.Report.RemoteFile = job.Entry.RemoteFile;
            job.Report.Started = false;
            if (Args.Json && !OutputError && !PrintJson(job.Report)) {
                OutputError = errno;
            }
        }
    }
    // The errno of the report that could not be written; 0 when every one was.
    int OutputFailure() const { return OutputError; }

private:
    void StartMore() {
        while (!Interrupted && Running < Jobs && Next < Uploads.size()) {
            Start(Next++);
        }
        if (Running == 0) {
            Loop.quit();
            return;
        }
        Redraw(true);
    }

    void Start(size_t index) {
        TBatchUpload& job = Uploads[index];
        job.Upload = std::make_unique<TUpload>();
        TUpload& upload = *job.Upload;
        upload.SetSendsEmptyFiles(true);
        if (Args.Trace) {
            const QString label = job.Entry.EntryName + QStringLiteral(": ");
            upload.OnTrace = [label](const QString& line) {
                Print(stderr, label + line + u'\n');
            };
        }
        upload.OnProgress = [this, &job](qint64 acked, qint64 total) {
            job.Acked = acked;
            job.Total = total;
            job.WaitLeft = 0;
            Redraw(false);
        };
        upload.OnWait = [this, &job](int secondsLeft) {
            // Without a terminal the wait is said once, as it begins.
            if (job.WaitLeft == 0 && !Terminal.Draws() && !Args.Quiet) {
                Print(stderr, job.Entry.EntryName + QStringLiteral(": ") +
                                  WaitingLine(secondsLeft) + u'\n');
            }
            job.WaitLeft = secondsLeft;
            Redraw(false);
        };
        upload.OnEnd = [this, index](TransferResult result) {
            Ended(index, result);
        };
        ++Running;
        job.Copy = LocalCopyFor(job.Entry);
        TServerEntry entry = job.Entry;
        if (job.Copy.File) {
            entry.LocalFile = job.Copy.File->fileName();
        }
        job.Clock.start();
        upload.Start(entry);
    }

    void Ended(size_t index, TransferResult result) {
        TBatchUpload& job = Uploads[index];
        job.Report = Report(job.Entry, true, *job.Upload, result);
        job.Report.Seconds = job.Clock.elapsed() / 1000.0;
        job.Ended = true;
        --Running;
        ++Done;
        if (!Args.Quiet) {
            Print(stderr, ClearBlock() + job.Entry.EntryName + QStringLiteral(": ") +
                              job.Report.Line() + u'\n');
            Drawn = 0;
        }
        if (Args.Json && !OutputError && !PrintJson(job.Report)) {
            // Nobody reads the reports any more: the batch ends as Ctrl+C would end it.
            OutputError = errno;
            if (!Interrupted) {
                Interrupt();
            }
        }
        // The upload is still inside its own ending: it goes once that has returned.
        job.Upload.release()->deleteLater();
        job.Copy = TLocalCopy();
        QTimer::singleShot(0, &Loop, [this] { StartMore(); });
    }

    void Interrupt() {
        Interrupted = true;
        for (TBatchUpload& job : Uploads) {
            if (job.Upload && !job.Ended) {
                job.Upload->Abort();
            }
        }
    }

    // Moves back over the lines drawn last and clears them.
    QString ClearBlock() const {
        if (!Terminal.Draws()) {
            return QString();
        }
        return Drawn > 0 ? QStringLiteral("\r\x1b[%1A\x1b[J").arg(Drawn)
                         : QStringLiteral("\r\x1b[J");
    }

    // On a terminal: a line for each running upload, as many as its rows allow and then how
    // many more run, then how many are done.
    void Redraw(bool now) {
        if (!Terminal.Due(now)) {
            return;
        }
        QStringList lines;
        const int room = Terminal.MostLines() - 1;
        int more = 0;
        for (const TBatchUpload& job : Uploads) {
            if (!job.Upload || job.Ended) {
                continue;
            }
            if (int(lines.size()) >= room - 1 && Running > room) {
                ++more;
                continue;
            }
            const QString state =
                job.WaitLeft > 0 ? WaitingLine(job.WaitLeft)
                : job.Total > 0  ? ProgressLine(job.Acked, job.Total, job.Clock.elapsed() / 1000.0)
                                 : QStringLiteral("starting");
            // A line that wrapped would throw the count of lines off.
            lines.append(Terminal.Fitted(job.Entry.EntryName + QStringLiteral(": "), state));
        }
        if (more > 0) {
            lines.append(QStringLiteral("and %1 more running").arg(more));
        }
        lines.append(QStringLiteral("%1 of %2 done").arg(Done).arg(Uploads.size()));
        Print(stderr, ClearBlock() + lines.join(u'\n'));
        Drawn = int(lines.size()) - 1;
    }

    const TSendArguments& Args;
    const int Jobs;
    TTerminalLines Terminal;
    std::vector<TBatchUpload> Uploads;
    QEventLoop Loop;
    size_t Next = 0;
    int Running = 0;
    int Done = 0;
    int Drawn = 0;
    bool Interrupted = false;
    int OutputError = 0;
};

// Each upload under way holds a socket, its file and, while its name is looked up, a pipe's two
// ends; the rest is kept for the standard streams, the event loop and the entries.
constexpr qint64 FilesPerUpload = 4;
constexpr qint64 FilesKept = 64;

// As many uploads at once as asked, or as the open files allowed let run, and says so.
int JobsWithinLimit(int asked, size_t uploads) {
    const int wanted = int(qMin<qint64>(asked, qint64(uploads)));
    const qint64 limit = OpenFiles::Limit();
    if (limit < 0) {
        return wanted;
    }
    const int fit = int(qBound<qint64>(1, (limit - FilesKept) / FilesPerUpload, qint64(wanted)));
    if (fit < wanted) {
        Print(stderr, QStringLiteral("zanvel-send: %1 uploads at a time instead of %2: the system "
                                     "allows %3 open files\n")
                          .arg(fit)
                          .arg(wanted)
                          .arg(limit));
    }
    return fit;
}

} // namespace

int SendEach(const TEntryList& Entries, const TSendArguments& Arguments) {
    std::vector<TServerEntry> chosen;
    for (int i = 0; i < Entries.Count(); ++i) {
        const TServerEntry* entry = Entries.Get(i);
        if (!NameMatches(Arguments.Each, entry->EntryName)) {
            continue;
        }
        TServerEntry upload = Arguments.Operands.isEmpty()
                                  ? *entry
                                  : WithLocalFile(*entry, Arguments.Operands.constFirst());
        OverrideEntry(upload, Arguments);
        chosen.push_back(std::move(upload));
    }
    if (chosen.empty()) {
        Print(stderr, QStringLiteral("zanvel-send: no entry matches \"%1\"\n").arg(Arguments.Each));
        return ExitUsage;
    }
    CatchInterrupt();
    const int jobs = JobsWithinLimit(Arguments.Jobs, chosen.size());
    TBatch batch(std::move(chosen), Arguments, jobs);
    const bool ran = batch.Run();
    if (!ran) {
        // Ctrl+C: what was running says "aborted"; what never started says so too.
        batch.NotStarted();
    }
    if (batch.OutputFailure() != 0) {
        return OutputFailed(QStringLiteral("the reports"), batch.OutputFailure());
    }
    int status = 0;
    int completed = 0;
    QStringList failures;
    for (const TBatchUpload& job : batch.Results()) {
        const int exit = job.Report.ExitStatus();
        if (exit == 0) {
            ++completed;
            continue;
        }
        if (status == 0) {
            status = exit;
        }
        failures.append(QStringLiteral("  %1: %2").arg(job.Entry.EntryName, job.Report.Line()));
    }
    if (!Arguments.Quiet) {
        QString summary =
            QStringLiteral("%1 of %2 completed").arg(completed).arg(batch.Results().size());
        if (!failures.isEmpty()) {
            summary += QStringLiteral("; failed:\n") + failures.join(u'\n');
        }
        Print(stderr, summary + u'\n');
    }
    return ran ? status : TransferResultExitStatus(trAborted);
}
