// Whatever a server answers, at any point of an upload: the input is the server's side of the
// exchange, one datagram (a length byte, then that many bytes) for each packet the upload sends,
// the first few numbered so that the upload gets past the write request. The upload must end
// with one of its results, its timer stopped and its endpoint closed.

#include "net/Udp.h"
#include "support/UploadFixture.h"
#include "transfer/TransferResult.h"

#include <QCoreApplication>
#include <cstdlib>

namespace {

UploadFixture* harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static UploadFixture h(false);
    h.entry.RetransmitMs = 1;
    h.setFile(QByteArray(1500, 'z'));
    harness = &h;
    // One upload to a silent server first: caches the first upload fills for good are not the
    // later uploads' to free.
    h.server.script = [](const ScriptedTftpServer::Datagram&) {
    };
    h.run();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UploadFixture& h = *harness;
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
    // A hang ends the upload with -1, which is none of its results.
    const int result = h.run(5000);
    const QList<int> results{trCompleted, trBadPacket, trTimeout};
    if (!results.contains(result) || h.upload.Timer1->isActive() || h.upload.Udp1->IsOpen()) {
        std::abort();
    }
    return 0;
}
