// trace-bench [LINES]
//
// Appends LINES trace lines (default 400,000: a 50 MiB upload writes about that many) to the
// shown trace window, and the same lines to a plain QListWidget as a peer, and prints both times.

#include "transfer/debug.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <cstdio>

namespace {

QString Line(int i) {
    switch (i % 4) {
    case 0:
        return QStringLiteral("  ack recved(block#%1)").arg(i / 4 % 65536);
    case 1:
        return QStringLiteral("make data packet block#%1").arg(i / 4 + 1);
    case 2:
        return QStringLiteral("will Send Data packet. block=%1").arg((i / 4 + 1) % 65536);
    default:
        return QStringLiteral("timeout! resend packet(1times)");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 400000;

    TDebugForm form;
    DebugForm = &form;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < lines; ++i) {
        DebugWrite(Line(i));
    }
    const double hidden = double(clock.nsecsElapsed()) / 1e6;
    form.show();
    clock.restart();
    for (int i = 0; i < lines; ++i) {
        DebugWrite(Line(i));
        if (i % 1024 == 0) {
            QCoreApplication::processEvents();
        }
    }
    QCoreApplication::processEvents();
    const double shown = double(clock.nsecsElapsed()) / 1e6;

    QListWidget peer;
    peer.setUniformItemSizes(true);
    peer.show();
    clock.restart();
    for (int i = 0; i < lines; ++i) {
        peer.addItem(Line(i));
        if (i % 1024 == 0) {
            QCoreApplication::processEvents();
        }
    }
    QCoreApplication::processEvents();
    const double widget = double(clock.nsecsElapsed()) / 1e6;

    std::printf("lines: %d\n", lines);
    std::printf("hidden trace window: %.1f ms\n", hidden);
    std::printf("shown trace window: %.1f ms   QListWidget: %.1f ms   ratio %.2f\n", shown, widget,
                shown / widget);
    DebugForm = nullptr;
    return 0;
}
