#pragma once

#include "entries/serverEntry.h"
#include "support/ScriptedTftpServer.h"
#include "transfer/UProgressForm.h"
#include "transfer/Upload.h"
#include "transfer/debug.h"

#include <QTemporaryDir>

// One progress dialog aimed at a scripted server, with the trace window shown so that every
// trace line is kept, unless the caller has no use for them.
struct UploadFixture {
    explicit UploadFixture(bool traced = true);
    ~UploadFixture();

    void setFile(const QByteArray& content);
    // Runs one upload as the main window does; gives up with -1 when it outlasts watchdogMs,
    // which only guards against a hang.
    int run(int watchdogMs = 15000);
    QStringList trace() const { return debug.Lines(); }

    QTemporaryDir dir;
    ScriptedTftpServer server;
    TServerEntry entry;
    TDebugForm debug;
    TProgressForm form;
};

QByteArray PatternBytes(qsizetype size);
