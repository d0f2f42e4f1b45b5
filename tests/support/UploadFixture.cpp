#include "support/UploadFixture.h"

#include "net/SocketAddress.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

UploadTarget::UploadTarget() {
    entry.ServerAddress = QStringLiteral("127.0.0.1");
    entry.ServerPort = server.port();
    entry.RemoteFile = QStringLiteral("remote.bin");
    entry.LocalFile = dir.filePath(QStringLiteral("local.bin"));
}

void UploadTarget::setFile(const QByteArray& content) {
    QFile file(entry.LocalFile);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
}

void UploadFixture::nameResolvesTo(const QStringList& addresses) {
    entry.ServerAddress = QStringLiteral("device.example");
    upload.SetResolver([addresses](const QString&, QString*) {
        QList<TSocketAddress> found;
        for (const QString& address : addresses) {
            found += ResolveHost(address);
        }
        return found;
    });
}

UploadFixture::UploadFixture(bool traced) {
    if (traced) {
        upload.OnTrace = [this](const QString& line) {
            lines.append(line);
            if (onTraceLine) {
                onTraceLine(line);
            }
        };
    }
    upload.OnProgress = [this](qint64 acked, qint64) {
        progress.append(acked);
    };
}

int UploadFixture::run(int watchdogMs) {
    int result = -1;
    QEventLoop loop;
    upload.OnEnd = [&](TransferResult ended) {
        result = ended;
        loop.quit();
    };
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        upload.OnEnd = nullptr;
        upload.Abort();
        loop.quit();
    });
    watchdog.start(watchdogMs);
    QTimer::singleShot(0, &loop, [this] { upload.Start(entry); });
    loop.exec();
    upload.OnEnd = nullptr;
    return result;
}

QByteArray PatternBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    }
    return bytes;
}
