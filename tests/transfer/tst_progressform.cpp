#include "net/Udp.h"
#include "support/ScriptedTftpServer.h"
#include "support/UploadFixture.h"
#include "transfer/UProgressForm.h"
#include "transfer/debug.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Datagram = ScriptedTftpServer::Datagram;

namespace {

// The progress dialog aimed at a scripted server, the trace window shown. The upload itself is
// tested without the dialog; these tests are of what the dialog adds.
struct DialogFixture : UploadTarget {
    DialogFixture() {
        DebugForm = &debug;
        debug.show();
    }
    ~DialogFixture() { DebugForm = nullptr; }

    // Shows the dialog as the main window does; gives up with -1 after watchdogMs.
    int run(int watchdogMs = 15000) {
        form.Entry = &entry;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, &form, [this] { form.done(-1); });
        watchdog.start(watchdogMs);
        return form.exec();
    }

    TDebugForm debug;
    TProgressForm form;
};

} // namespace

class TestProgressForm : public QObject {
    Q_OBJECT

private slots:
    void timersAsDesigned();
    void uploadShownAndTraced();
    void restoringTheDialogDoesNotRestart();
    void abortButtonAndEscapeAbort_data();
    void abortButtonAndEscapeAbort();
};

void TestProgressForm::timersAsDesigned() {
    const TProgressForm form;
    QCOMPARE(form.Timer1->interval(), 5000);
    QCOMPARE(form.SendWRQTimer->interval(), 1);
}

void TestProgressForm::uploadShownAndTraced() {
    DialogFixture f;
    const QByteArray content = PatternBytes(51200);
    f.setFile(content);
    QSignalSpy progress(f.form.ProgressBar1, &QProgressBar::valueChanged);
    QCOMPARE(f.run(), int(trCompleted));
    QVERIFY(!f.form.isVisible());
    QList<int> values;
    for (const QList<QVariant>& signal : progress) {
        values.append(signal.at(0).toInt());
    }
    QCOMPARE(values, (QList<int>{0, 32, 64, 96, 100}));
    QCOMPARE(f.server.file(), content);
    // Every step of the upload reaches the shown trace window.
    QCOMPARE(f.debug.Lines().mid(0, 3),
             (QStringList{"file opened", "make WQR packet", "  ack recved(block#0)"}));
    QCOMPARE(f.debug.Lines().last(), QStringLiteral("  ack recved(block#101)"));

    // Hidden, it records nothing.
    f.debug.hide();
    const qsizetype recorded = f.debug.Lines().size();
    QCOMPARE(f.run(), int(trCompleted));
    QCOMPARE(f.debug.Lines().size(), recorded);
}

void TestProgressForm::restoringTheDialogDoesNotRestart() {
    DialogFixture f;
    f.form.Timer1->setInterval(2000);
    bool minimised = false;
    f.server.onceAtBlock(2, [&](const Datagram& d) {
        // The user minimises the dialog and brings it back before block 2 is acknowledged.
        minimised = true;
        f.form.setWindowState(Qt::WindowMinimized);
        QTimer::singleShot(100, &f.form, [&] { f.form.setWindowState(Qt::WindowNoState); });
        QTimer::singleShot(300, &f.form, [&f, d] { f.server.acknowledgeNormally(d); });
    });
    const QByteArray content = PatternBytes(2000);
    f.setFile(content);
    QCOMPARE(f.run(), int(trCompleted));
    QVERIFY(minimised);
    QCOMPARE(f.debug.Lines().count("make WQR packet"), 1);
    QCOMPARE(f.server.dataBlocks(), (QList<quint16>{1, 2, 3, 4}));
    QCOMPARE(f.server.file(), content);
}

void TestProgressForm::abortButtonAndEscapeAbort_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("abort button") << false;
    QTest::newRow("Escape") << true;
}

void TestProgressForm::abortButtonAndEscapeAbort() {
    QFETCH(bool, escape);
    DialogFixture f;
    f.server.script = [&](const Datagram&) {
        QTimer::singleShot(0, &f.form, [&] {
            if (escape) {
                QTest::keyClick(&f.form, Qt::Key_Escape);
            } else {
                f.form.AbortBtn->click();
            }
        });
    };
    f.setFile(PatternBytes(10));
    QCOMPARE(f.run(), int(trAborted));
    QCOMPARE(f.server.received.size(), 1);
    QVERIFY(!f.form.Timer1->isActive());
    QVERIFY(!f.form.Udp1->IsOpen());
}

QTEST_MAIN(TestProgressForm)
#include "tst_progressform.moc"
