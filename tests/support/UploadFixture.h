#pragma once

#include "entries/serverEntry.h"
#include "support/ScriptedTftpServer.h"
#include "transfer/Upload.h"

#include <QStringList>
#include <QTemporaryDir>
#include <functional>

// A scripted server and an entry aimed at it, whose local file the test writes.
struct UploadTarget {
    UploadTarget();

    void setFile(const QByteArray& content);

    QTemporaryDir dir;
    ScriptedTftpServer server;
    TServerEntry entry;
};

// One upload aimed at a scripted server, without widgets. Every trace line is kept, unless the
// caller has no use for them, and so is every progress report.
struct UploadFixture : UploadTarget {
    explicit UploadFixture(bool traced = true);

    // Runs one upload in an event loop of its own, as the progress dialog does; gives up with -1
    // when it outlasts watchdogMs, which only guards against a hang.
    int run(int watchdogMs = 15000);
    QStringList trace() const { return lines; }
    // Aims the entry at a host name whose look-up gives these addresses, in this order.
    void nameResolvesTo(const QStringList& addresses);

    TUpload upload;
    QStringList lines;
    // Acknowledged bytes, as reported.
    QList<qint64> progress;
    // Sees each trace line as it is written.
    std::function<void(const QString&)> onTraceLine;
};

QByteArray PatternBytes(qsizetype size);
