// Whatever a server answers, at any point of an upload: the input is the server's side of the
// exchange, one datagram (a length byte, then that many bytes) for each packet the upload sends,
// the first few numbered so that the upload gets past the write request. The upload must end
// with one of its results, its timer stopped and its endpoint closed.

#include "entries/serverEntry.h"
#include "net/Udp.h"
#include "support/ScriptedTftpServer.h"
#include "transfer/TransferResult.h"
#include "transfer/UProgressForm.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>

namespace {

struct Harness {
    Harness() {
        entry.ServerAddress = QStringLiteral("127.0.0.1");
        entry.ServerPort = server.port();
        entry.RemoteFile = QStringLiteral("fuzz.bin");
        entry.LocalFile = dir.filePath(QStringLiteral("local.bin"));
        QFile file(entry.LocalFile);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(1500, 'z'));
        form.Timer1->setInterval(1);
        form.Entry = &entry;
    }
    QTemporaryDir dir;
    ScriptedTftpServer server;
    TServerEntry entry;
    TProgressForm form;
};

Harness* harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    static Harness h;
    harness = &h;
    // One upload to a silent server first: fonts and other caches the first showing of the
    // dialog fills for good are not the upload's to free.
    h.server.script = [](const ScriptedTftpServer::Datagram&) {
    };
    h.form.exec();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Harness& h = *harness;
    QList<QByteArray> answers;
    for (size_t at = 0; at < size;) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        answers.append(QByteArray(reinterpret_cast<const char*>(data) + at + 1, qsizetype(length)));
        at += 1 + length;
    }
    int next = 0;
    h.server.received.clear();
    h.server.script = [&](const ScriptedTftpServer::Datagram&) {
        if (next < answers.size()) {
            h.server.answer(answers.at(next++));
        }
    };
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { std::abort(); });
    watchdog.start(5000);
    const int result = h.form.exec();
    const QList<int> results{trCompleted, trBadPacket, trTimeout};
    if (!results.contains(result) || h.form.Timer1->isActive() || h.form.Udp1->IsOpen()) {
        std::abort();
    }
    return 0;
}
