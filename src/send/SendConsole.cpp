#include "send/SendConsole.h"

#include "transfer/Upload.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Lines on the terminal are redrawn at most this often.
constexpr qint64 RedrawMs = 100;

// Ctrl+C writes a byte here from the signal handler; the event loop reads it.
int InterruptPipe[2] = {-1, -1};

volatile sig_atomic_t Caught = 0;

void Interrupted(int) {
    Caught = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(InterruptPipe[1], &byte, 1);
}

} // namespace

bool Print(FILE* stream, const QString& text) {
    const bool written = std::fputs(text.toLocal8Bit().constData(), stream) >= 0;
    return std::fflush(stream) == 0 && written;
}

bool PrintJson(const TUploadReport& report) {
    const QByteArray line = report.Json() + '\n';
    const bool written =
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout) == size_t(line.size());
    return std::fflush(stdout) == 0 && written;
}

int OutputFailed(const QString& what, int error) {
    Print(stderr, QStringLiteral("zanvel-send: cannot write %1: %2\n")
                      .arg(what, QString::fromLocal8Bit(std::strerror(error))));
    return ExitOutputFailed;
}

int TerminalColumns() {
    winsize size{};
    return ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

TTerminalLines::TTerminalLines(bool Draws, int Columns)
    : FDraws(Draws)
    , Columns(Draws ? Columns : 0) {}

TTerminalLines TTerminalLines::For(const TSendArguments& Arguments) {
    const bool draws = isatty(fileno(stderr)) && !Arguments.Quiet && !Arguments.Trace;
    return TTerminalLines(draws, draws ? TerminalColumns() : 0);
}

bool TTerminalLines::Due(bool Now) {
    if (!FDraws || (!Now && SinceRedraw.isValid() && SinceRedraw.elapsed() < RedrawMs)) {
        return false;
    }
    SinceRedraw.start();
    return true;
}

QString TTerminalLines::Fitted(const QString& Line) const {
    // A line as long as the terminal is wide wraps, and each redraw would add a line.
    return Columns > 1 && Line.size() >= Columns ? Line.first(Columns - 1) : Line;
}

void CatchInterrupt() {
    if (pipe2(InterruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = Interrupted;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool InterruptCaught() {
    return Caught != 0;
}

std::unique_ptr<QSocketNotifier> OnInterrupt(QObject* context,
                                             const std::function<void()>& interrupted) {
    if (InterruptPipe[0] < 0) {
        return nullptr;
    }
    auto notifier = std::make_unique<QSocketNotifier>(InterruptPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, context, [interrupted] {
        char byte;
        while (read(InterruptPipe[0], &byte, 1) > 0) {
        }
        interrupted();
    });
    return notifier;
}

TUploadReport Report(const TServerEntry& entry, bool saved, const TUpload& upload,
                     TransferResult result) {
    TUploadReport report;
    report.EntryName = saved ? entry.EntryName : QString();
    report.Server = entry.ServerAddress;
    report.Address = upload.ServerAddress();
    report.Port = entry.ServerPort;
    report.RemoteFile = entry.RemoteFile;
    report.Bytes = upload.AcknowledgedBytes();
    report.Total = upload.FileBytes();
    report.Answered = upload.Answered();
    report.Result = result;
    report.AllDataSent = upload.AllDataSent();
    report.Failure = upload.FailureText();
    report.ServerError = upload.ServerError();
    return report;
}
