#include "send/SendConsole.h"

#include "transfer/Upload.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
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

int TerminalRows() {
    winsize size{};
    return ioctl(fileno(stderr), TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
}

namespace {

// Characters a terminal draws two columns wide (East Asian Wide and Fullwidth).
bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

int Columns(char32_t c) {
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
        category == QChar::Other_Format) {
        return 0;
    }
    return Wide(c) ? 2 : 1;
}

// The longest start of the text that takes at most this many columns.
QString Cut(const QString& text, int columns) {
    int used = 0;
    qsizetype end = 0;
    for (const char32_t c : text.toUcs4()) {
        used += Columns(c);
        if (used > columns) {
            break;
        }
        end += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    return text.first(end);
}

} // namespace

int DisplayColumns(const QString& Text) {
    int columns = 0;
    for (const char32_t c : Text.toUcs4()) {
        columns += Columns(c);
    }
    return columns;
}

TTerminalLines::TTerminalLines(bool Draws, int Columns, int Rows)
    : FDraws(Draws)
    , Columns(Draws ? Columns : 0)
    , Rows(Draws ? Rows : 0) {}

TTerminalLines TTerminalLines::For(const TSendArguments& Arguments) {
    const bool draws = isatty(fileno(stderr)) && !Arguments.Quiet && !Arguments.Trace;
    return TTerminalLines(draws, draws ? TerminalColumns() : 0, draws ? TerminalRows() : 0);
}

int TTerminalLines::MostLines() const {
    return Rows > 2 ? Rows - 2 : std::numeric_limits<int>::max();
}

bool TTerminalLines::Due(bool Now) {
    if (!FDraws || (!Now && SinceRedraw.isValid() && SinceRedraw.elapsed() < RedrawMs)) {
        return false;
    }
    SinceRedraw.start();
    return true;
}

QString TTerminalLines::Fitted(const QString& Label, const QString& Figures) const {
    // A line as long as the terminal is wide wraps, and each redraw would add a line.
    const int room = Columns - 1;
    if (Columns <= 1 || DisplayColumns(Label) + DisplayColumns(Figures) <= room) {
        return Label + Figures;
    }
    const int figures = DisplayColumns(Figures);
    if (figures >= room) {
        return Cut(Figures, room);
    }
    return Cut(Label, room - figures) + Figures;
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
