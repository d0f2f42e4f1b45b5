#include "support/ModalDriver.h"
#include "transfer/debug.h"
#include "ui/CursorTable.h"
#include "ui/ModalResult.h"
#include "ui/UAboutDialog.h"
#include "ui/URLLabel.h"
#include "ui/entryEdit.h"

#include <QEnterEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>

namespace {

const QColor Black(0, 0, 0);
const QColor Aqua(0, 255, 255);
const QColor Red(255, 0, 0);

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pressOpensOncePerPressWithAnyButton_data();
    void pressOpensOncePerPressWithAnyButton();
    void releaseInsideIsHotOutsideIsNormal_data();
    void releaseInsideIsHotOutsideIsNormal();
    void hotTrackOffKeepsColour();
    void sameColourDoesNotRepaint();
    void handCursor();
    void dialog();
    void iconOpensTheOneTraceWindow();
    void dialogsCentredOnScreenAtEveryShowing_data();
    void dialogsCentredOnScreenAtEveryShowing();

private:
    void enter(TURLLabel& label);

    QStringList opened;
    std::function<void(const QString&)> previousOpener;
};

void TestAbout::init() {
    opened.clear();
    previousOpener = std::exchange(TURLLabel::Opener,
                                   [this](const QString& address) { opened.append(address); });
}

void TestAbout::cleanup() {
    TURLLabel::Opener = previousOpener;
}

void TestAbout::enter(TURLLabel& label) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), label.mapToGlobal(QPointF(1, 1)));
    QCoreApplication::sendEvent(&label, &event);
}

void TestAbout::pressOpensOncePerPressWithAnyButton_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestAbout::pressOpensOncePerPressWithAnyButton() {
    QFETCH(Qt::MouseButton, button);
    TURLLabel label;
    label.setText(QStringLiteral("https://example.org/"));
    label.Executable = true;
    label.show();
    enter(label);
    QTest::mousePress(&label, button, {}, QPoint(2, 2));
    QCOMPARE(opened, QStringList{"https://example.org/"});
    QCOMPARE(label.FontColor(), Red);
    QTest::mouseRelease(&label, button, {}, QPoint(2, 2));
    QCOMPARE(opened.size(), 1);

    label.Executable = false;
    QTest::mousePress(&label, button, {}, QPoint(2, 2));
    QCOMPARE(opened.size(), 1);
}

void TestAbout::releaseInsideIsHotOutsideIsNormal_data() {
    QTest::addColumn<bool>("inside");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("inside") << true << Aqua;
    QTest::newRow("dragged off") << false << QColor(Qt::darkGreen);
}

void TestAbout::releaseInsideIsHotOutsideIsNormal() {
    QFETCH(bool, inside);
    QFETCH(QColor, colour);
    QCursor::setPos(QPoint(1000, 1000));
    QWidget window;
    TURLLabel label(&window);
    label.setGeometry(10, 10, 80, 16);
    QPalette green = label.palette();
    green.setColor(QPalette::WindowText, Qt::darkGreen);
    label.setPalette(green);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    enter(label);
    QCOMPARE(label.FontColor(), Aqua);
    QCOMPARE(label.NormalColor, QColor(Qt::darkGreen));
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(label.FontColor(), Red);
    // The pointer's position at the release counts, not the one the release reports.
    QCursor::setPos(label.mapToGlobal(inside ? QPoint(5, 5) : QPoint(200, 200)));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(label.FontColor(), colour);
}

void TestAbout::hotTrackOffKeepsColour() {
    TURLLabel label;
    label.Executable = true;
    label.setText(QStringLiteral("/usr/share/doc"));
    label.SetHotTrack(false);
    enter(label);
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(label.FontColor(), Black);
    QCOMPARE(opened, QStringList{"/usr/share/doc"});
}

void TestAbout::sameColourDoesNotRepaint() {
    TURLLabel label;
    label.setText(QStringLiteral("x"));
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QCoreApplication::processEvents();
    PaintCounter paints;
    label.installEventFilter(&paints);
    label.SetHotColor(Aqua);
    label.SetPushedColor(Red);
    label.SetHotTrack(true);
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, 0);
    label.SetHotColor(Qt::blue);
    QTRY_COMPARE(paints.count, 1);
}

void TestAbout::handCursor() {
    TURLLabel first;
    TURLLabel second;
    QCOMPARE(second.Cursor(), crHandPoint);
    const QCursor hand = CursorImage(crHandPoint);
    QCOMPARE(hand.shape(), Qt::BitmapCursor);
    QCOMPARE(hand.hotSpot(), QPoint(7, 1));
    QCOMPARE(second.cursor().hotSpot(), QPoint(7, 1));
    // A white hand in a black outline, on nothing: the tip of the finger is outline, the finger
    // below it white, the corner and the palm's right white.
    const QImage picture = hand.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(picture.size(), QSize(32, 32));
    QCOMPARE(picture.pixelColor(7, 1), QColor(Qt::black));
    QCOMPARE(picture.pixelColor(7, 3), QColor(Qt::white));
    QCOMPARE(picture.pixelColor(10, 14), QColor(Qt::white));
    QCOMPARE(picture.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(picture.pixelColor(20, 10).alpha(), 0);
}

void TestAbout::dialog() {
    TAboutDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Zanvel TFTPについて"));
    QCOMPARE(dlg.size(), QSize(336, 209));
    QCOMPARE(dlg.Label1->text(), QStringLiteral("Zanvel TFTP "));
    QCOMPARE(dlg.Label2->text(), QStringLiteral("version 1.02"));
    QVERIFY(dlg.Label1->geometry().right() < dlg.Label2->x());
    QVERIFY(dlg.Label2->geometry().right() < dlg.BitBtn1->x());
    QCOMPARE(dlg.BitBtn1->geometry(), QRect(216, 16, 107, 25));
    QVERIFY(dlg.HomePageLbl->isHidden() && dlg.HomePageLbl->Executable);
    // The home page is this program's README, and it is there.
    const QUrl home(HomePageAddress());
    QVERIFY(home.isLocalFile());
    QVERIFY(QFileInfo::exists(home.toLocalFile()));

    dlg.BitBtn1->click();
    QCOMPARE(opened, QStringList{HomePageAddress()});
    QCOMPARE(dlg.HomePageLbl->FontColor(), Red);

    // Enter right after the dialog opens is OK, and so is the order of the tab chain.
    OnNextModal([](QWidget* shown) {
        auto* about = static_cast<TAboutDlg*>(shown);
        QCOMPARE(about->focusWidget(), about->OKBtn);
        QTest::keyClick(about->focusWidget(), Qt::Key_Tab);
        QCOMPARE(about->focusWidget(), about->BitBtn1);
        QTest::keyClick(about->focusWidget(), Qt::Key_Backtab);
        QTest::keyClick(about->focusWidget(), Qt::Key_Return);
    });
    QCOMPARE(dlg.exec(), int(mrOk));
    QCOMPARE(opened.size(), 1);
}

void TestAbout::iconOpensTheOneTraceWindow() {
    TDebugForm trace;
    DebugForm = &trace;
    TAboutDlg dlg;
    OnNextModal([](QWidget* shown) {
        auto* about = static_cast<TAboutDlg*>(shown);
        QTest::mouseDClick(about->Image1, Qt::LeftButton);
        QTest::mouseDClick(about->Image1, Qt::LeftButton);
        about->close();
    });
    dlg.exec();
    QVERIFY(trace.isVisible());
    const auto traces = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(traces.cbegin(), traces.cend(),
                           [](QWidget* w) { return qobject_cast<TDebugForm*>(w); }),
             1);
    DebugForm = nullptr;
}

void TestAbout::dialogsCentredOnScreenAtEveryShowing_data() {
    QTest::addColumn<bool>("about");
    QTest::newRow("About") << true;
    QTest::newRow("entry edit") << false;
}

void TestAbout::dialogsCentredOnScreenAtEveryShowing() {
    QFETCH(bool, about);
    std::unique_ptr<QDialog> dialog;
    if (about) {
        dialog = std::make_unique<TAboutDlg>();
    } else {
        dialog = std::make_unique<TEntryEditDlg>();
    }
    const QPoint middle = dialog->screen()->availableGeometry().center();
    for (int showing = 1; showing <= 2; ++showing) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        const QPoint centre = dialog->frameGeometry().center();
        QVERIFY2((centre - middle).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("showing %1: centre %2,%3, screen's %4,%5")
                                .arg(showing)
                                .arg(centre.x())
                                .arg(centre.y())
                                .arg(middle.x())
                                .arg(middle.y())));
        dialog->hide();
    }
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
