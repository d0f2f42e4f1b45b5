#include "send/LocalCopy.h"

#include "entries/CodePage.h"
#include "entries/serverEntry.h"
#include "send/SendConsole.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

const QString StandardInput = QStringLiteral("-");

TLocalCopy::TLocalCopy() = default;
TLocalCopy::TLocalCopy(TLocalCopy&&) noexcept = default;
TLocalCopy& TLocalCopy::operator=(TLocalCopy&&) noexcept = default;
TLocalCopy::~TLocalCopy() = default;

namespace {

// Copies from the descriptor until it ends; Ctrl+C, once caught, ends the copy at once.
TLocalCopy CopyToTemporary(int Descriptor) {
    TLocalCopy copy;
    auto file = std::make_unique<QTemporaryFile>();
    const auto cannotWrite = [&] {
        copy.Failure = QStringLiteral("cannot make a temporary copy: %1").arg(file->errorString());
        return std::move(copy);
    };
    if (!file->open()) {
        return cannotWrite();
    }
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(Descriptor, chunk.data(), size_t(chunk.size()));
        if (got == 0) {
            break;
        }
        if (got < 0) {
            // Ctrl+C interrupts a read that waits for a terminal or a pipe.
            if (errno == EINTR) {
                if (InterruptCaught()) {
                    copy.Interrupted = true;
                    return copy;
                }
                continue;
            }
            copy.Failure = QString::fromLocal8Bit(std::strerror(errno));
            return copy;
        }
        if (file->write(chunk.constData(), got) != got) {
            return cannotWrite();
        }
    }
    if (!file->flush()) {
        return cannotWrite();
    }
    copy.File = std::move(file);
    return copy;
}

} // namespace

TLocalCopy LocalCopyFor(const TServerEntry& Entry) {
    if (Entry.LocalFile == StandardInput) {
        TLocalCopy copy = CopyToTemporary(STDIN_FILENO);
        if (!copy.File && !copy.Interrupted) {
            copy.Failure = QStringLiteral("cannot read standard input: %1").arg(copy.Failure);
        }
        return copy;
    }
    const QFileInfo info(Entry.LocalFile);
    if (!info.isFile() || info.size() != 0) {
        return {};
    }
    const int descriptor =
        ::open(EncodeSystemName(Entry.LocalFile).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return {};
    }
    TLocalCopy copy = CopyToTemporary(descriptor);
    ::close(descriptor);
    if (!copy.Failure.isEmpty()) {
        copy.Failure = QStringLiteral("%1: %2").arg(Entry.LocalFile, copy.Failure);
    }
    // A file that really is empty goes as it is, as one empty block.
    if (copy.File && copy.File->size() == 0) {
        copy.File.reset();
    }
    return copy;
}
