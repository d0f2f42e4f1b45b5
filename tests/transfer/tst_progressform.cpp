#include "net/Udp.h"
#include "support/ScriptedTftpServer.h"
#include "support/UploadFixture.h"
#include "transfer/ScreenPlace.h"
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
    void waitSaidOnTheBar_data();
    void waitSaidOnTheBar();
    void keptOnTheScreen_data();
    void keptOnTheScreen();
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
    QList<int> values{f.form.ProgressBar1->value()};
    QCOMPARE(f.run(), int(trCompleted));
    QVERIFY(!f.form.isVisible());
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

void TestProgressForm::waitSaidOnTheBar_data() {
    QTest::addColumn<bool>("deviceComesUp");
    QTest::addColumn<int>("result");
    QTest::newRow("cancelled") << false << int(trAborted);
    QTest::newRow("device comes up") << true << int(trCompleted);
}

void TestProgressForm::waitSaidOnTheBar() {
    // A device not up yet: the bar says so while the dialog waits, and a screen reader hears
    // it. キャンセル ends the wait at once instead of after it; a device that comes up gets the
    // file, and the bar shows how much of it went.
    QFETCH(bool, deviceComesUp);
    QFETCH(int, result);
    DialogFixture f;
    f.setFile(PatternBytes(3000));
    // The longest wait an entry may ask for, the longest text.
    f.entry.WaitForTarget = 86400;
    f.form.Upload1->SetWaitStepMs(20);
    f.server.script = [](const Datagram&) {
    };
    int waits = 0;
    const auto shown = f.form.Upload1->OnWait;
    f.form.Upload1->OnWait = [&](int left) {
        shown(left);
        if (++waits < 3) {
            return;
        }
        const QString said = QStringLiteral("機器の応答を待っています（残り %1 秒）").arg(left);
        QCOMPARE(f.form.ProgressBar1->text(), said);
        QVERIFY(f.form.ProgressBar1->isTextVisible());
        QCOMPARE(f.form.ProgressBar1->accessibleDescription(), said);
        QVERIFY(f.form.ProgressBar1->fontMetrics().horizontalAdvance(said) <=
                f.form.ProgressBar1->width());
        QCOMPARE(f.form.ProgressBar1->value(), 0);
        if (deviceComesUp) {
            f.server.script = [&f](const Datagram& d) {
                f.server.acknowledgeNormally(d);
            };
        } else {
            f.form.AbortBtn->click();
        }
    };
    QCOMPARE(f.run(5000), result);
    f.server.drain();
    if (deviceComesUp) {
        QCOMPARE(f.server.file(), PatternBytes(3000));
        QVERIFY(!f.form.ProgressBar1->isTextVisible());
        QCOMPARE(f.form.ProgressBar1->accessibleDescription(), QString());
        QCOMPARE(f.form.ProgressBar1->value(), 100);
    } else {
        // The bar said so with the first request, and again with each of the two after it.
        QCOMPARE(waits, 3);
        QCOMPARE(f.server.received.size(), 3);
    }
    // The next upload starts with a bar of its own.
    f.form.Upload1->OnWait = shown;
    f.entry.WaitForTarget = 0;
    f.server.script = [&f](const Datagram& d) {
        f.server.acknowledgeNormally(d);
    };
    QCOMPARE(f.run(), int(trCompleted));
    QVERIFY(!f.form.ProgressBar1->isTextVisible());
}

void TestProgressForm::keptOnTheScreen_data() {
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QPoint>("place");
    const QSize dialog(242, 98);
    // clang-format off
    QTest::newRow("fits")                  << QRect(0, 0, 1280, 1024) << dialog << QPoint(237, 373);
    // QT_SCALE_FACTOR=2 on a screen 800 pixels high: 400 logical pixels, a panel of 24.
    QTest::newRow("bottom off the screen") << QRect(0, 24, 640, 376)  << dialog << QPoint(237, 302);
    QTest::newRow("right of a narrow one") << QRect(0, 0, 400, 600)   << dialog << QPoint(158, 373);
    QTest::newRow("left of the area")      << QRect(300, 0, 980, 1024) << dialog << QPoint(300, 373);
    QTest::newRow("larger than the area")  << QRect(0, 40, 200, 60)   << dialog << QPoint(0, 40);
    // clang-format on
}

void TestProgressForm::keptOnTheScreen() {
    QFETCH(QRect, area);
    QFETCH(QSize, outer);
    QFETCH(QPoint, place);
    QCOMPARE(FramePlace(area, outer, QPoint(237, 373)), place);
    // Without a place of its own, a window is centred.
    QCOMPARE(FramePlace(QRect(0, 40, 1280, 984), QSize(400, 200), std::nullopt), QPoint(440, 432));
}

QTEST_MAIN(TestProgressForm)
#include "tst_progressform.moc"
