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
    void onlyCancellingKeysAbort_data();
    void onlyCancellingKeysAbort();
    void abortBeforeTheUploadBegins();
    void cancelEndsTheWait();
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
    f.entry.RetransmitMs = 2000;
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

void TestProgressForm::onlyCancellingKeysAbort_data() {
    QTest::addColumn<int>("key"); // 0: a click on the button
    QTest::addColumn<int>("result");
    QTest::newRow("abort button") << 0 << int(trAborted);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(trAborted);
    QTest::newRow("Space on the button") << int(Qt::Key_Space) << int(trAborted);
    // Enter started the upload in the main window; pressed once more, or held a moment too
    // long, it must not stop what it started.
    QTest::newRow("Return") << int(Qt::Key_Return) << int(trCompleted);
    QTest::newRow("Enter") << int(Qt::Key_Enter) << int(trCompleted);
}

void TestProgressForm::onlyCancellingKeysAbort() {
    QFETCH(int, key);
    QFETCH(int, result);
    DialogFixture f;
    f.server.onceAtBlock(0, [&](const Datagram& d) {
        QTimer::singleShot(0, &f.form, [&f, d, key] {
            if (key == 0) {
                f.form.AbortBtn->click();
            } else {
                // The button has the focus, as it has when the dialog opens.
                QWidget* to =
                    key == Qt::Key_Escape ? static_cast<QWidget*>(&f.form) : f.form.AbortBtn;
                QTest::keyClick(to, Qt::Key(key));
            }
            if (f.form.isVisible()) {
                f.server.acknowledgeNormally(d);
            }
        });
    });
    f.setFile(PatternBytes(10));
    QCOMPARE(f.run(), result);
    QVERIFY(!f.form.Timer1->isActive());
    QVERIFY(!f.form.Udp1->IsOpen());
    if (result == trAborted) {
        QCOMPARE(f.server.received.size(), 1);
    }
}

void TestProgressForm::abortBeforeTheUploadBegins() {
    DialogFixture f;
    f.setFile(PatternBytes(10));
    QCOMPARE(f.run(), int(trCompleted));
    const qsizetype sent = f.server.received.size();

    // Shown again, the dialog is cancelled before its upload begins.
    f.form.SendWRQTimer->setInterval(10000);
    QTimer::singleShot(0, &f.form, [&f] { f.form.AbortBtn->click(); });
    QCOMPARE(f.run(), int(trAborted));
    QVERIFY(!f.form.SendWRQTimer->isActive());
    f.server.drain();
    QCOMPARE(f.server.received.size(), sent);
}

void TestProgressForm::cancelEndsTheWait() {
    // A device not up yet: the bar stays at 0 while the dialog waits, and キャンセル ends the
    // wait at once instead of after it.
    DialogFixture f;
    f.setFile(PatternBytes(3000));
    f.entry.WaitForTarget = 1000;
    f.form.Upload1->SetWaitStepMs(20);
    f.server.script = [](const Datagram&) {
    };
    int waits = 0;
    f.form.Upload1->OnWait = [&](int) {
        if (++waits == 3) {
            QCOMPARE(f.form.ProgressBar1->value(), 0);
            f.form.AbortBtn->click();
        }
    };
    QCOMPARE(f.run(5000), int(trAborted));
    QCOMPARE(waits, 3);
    f.server.drain();
    QCOMPARE(f.server.received.size(), 4);
}

QTEST_MAIN(TestProgressForm)
#include "tst_progressform.moc"
