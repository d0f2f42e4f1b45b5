#include "support/UploadFixture.h"

#include <QFile>
#include <QTimer>

UploadFixture::UploadFixture(bool traced) {
    DebugForm = &debug;
    debug.setVisible(traced);
    entry.ServerAddress = QStringLiteral("127.0.0.1");
    entry.ServerPort = server.port();
    entry.RemoteFile = QStringLiteral("remote.bin");
    entry.LocalFile = dir.filePath(QStringLiteral("local.bin"));
}

UploadFixture::~UploadFixture() {
    DebugForm = nullptr;
}

void UploadFixture::setFile(const QByteArray& content) {
    QFile file(entry.LocalFile);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
}

int UploadFixture::run(int watchdogMs) {
    form.Entry = &entry;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &form, [this] { form.done(-1); });
    watchdog.start(watchdogMs);
    return form.exec();
}

QByteArray PatternBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}
