// zanvel-upload HOST PORT LOCAL REMOTE [--trace | --trace-window] [--blksize N]
//
// Runs one upload through the progress dialog without a display and reports how it ended and how
// fast it went; --trace prints every trace line after the milliseconds since the upload began,
// --trace-window only has the trace window shown, recording the lines as it does for a user;
// --blksize asks the server for blocks of N bytes, as an entry with that key does.
// Exit status 0 for a completed upload, 1 otherwise, 2 for bad arguments.

#include "entries/serverEntry.h"
#include "transfer/TransferResult.h"
#include "transfer/UProgressForm.h"
#include "transfer/debug.h"
#include "ui/Application.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool trace = args.removeAll(QStringLiteral("--trace")) > 0;
    const bool traceWindow = args.removeAll(QStringLiteral("--trace-window")) > 0;
    int blksize = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--blksize"));
        at >= 0 && at + 1 < args.size()) {
        blksize = args[at + 1].toInt();
        args.remove(at, 2);
    }
    bool portOk = false;
    const int port = args.size() == 4 ? args[1].toInt(&portOk) : 0;
    if (!portOk) {
        std::fprintf(stderr,
                     "usage: zanvel-upload HOST PORT LOCAL REMOTE [--trace | --trace-window] "
                     "[--blksize N]\n");
        return 2;
    }

    QElapsedTimer clock;
    TDebugForm debugForm;
    if (trace || traceWindow) {
        DebugForm = &debugForm;
        debugForm.show();
    }
    if (trace) {
        // Each line with the milliseconds since the upload began, to show its timing.
        QObject::connect(&debugForm, &TDebugForm::Appended, [&clock](const QString& line) {
            std::printf("%10.3f  %s\n", double(clock.nsecsElapsed()) / 1e6, qPrintable(line));
        });
    }

    TServerEntry entry;
    entry.ServerAddress = args[0];
    entry.ServerPort = port;
    entry.LocalFile = args[2];
    entry.RemoteFile = args[3];
    entry.BlkSize = blksize;
    TProgressForm form;
    form.Entry = &entry;

    clock.start();
    const int result = form.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    DebugForm = nullptr;

    const double mebibytes = double(QFileInfo(entry.LocalFile).size()) / (1024.0 * 1024.0);
    std::printf("result: %s %d\n", qPrintable(TransferResultName(result)), result);
    std::printf("elapsed: %.3f s, %.2f MiB/s\n", seconds, seconds > 0 ? mebibytes / seconds : 0.0);
    return result == trCompleted ? 0 : 1;
}
