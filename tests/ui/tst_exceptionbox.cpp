#include "net/ApplicationException.h"
#include "net/EUdpException.h"
#include "support/ExceptionRecorder.h"
#include "support/ModalDriver.h"
#include "ui/Application.h"
#include "ui/ExceptionBox.h"

#include "ui/FormFont.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

class Throwing : public QObject {
public:
    bool event(QEvent*) override { throw EUdpException("thrown by an event"); }
};

} // namespace

class TestExceptionBox : public QObject {
    Q_OBJECT

private slots:
    void contentNamesApplicationAndMessage();
    void boxIsModalErrorWithOk();
    void unknownExceptionsAreShownToo();
    void applicationCatchesWhatHandlersLetThrough();
    void everyWindowTakesTheProgramFont();
    void qtTextsAreJapanese();
};

void TestExceptionBox::contentNamesApplicationAndMessage() {
    const ExceptionBoxContent c = ExceptionBoxFor(std::runtime_error("範囲チェックエラー"));
    QCOMPARE(c.Title, QStringLiteral("Zanvel TFTP"));
    QCOMPARE(c.Text, QStringLiteral("範囲チェックエラー"));
}

void TestExceptionBox::boxIsModalErrorWithOk() {
    ShownBox box;
    Answer(QMessageBox::Ok, &box);
    ShowException(EUdpException("<b>host lookup failure</b>"));
    QCOMPARE(box.title, QStringLiteral("Zanvel TFTP"));
    QCOMPARE(box.text, QStringLiteral("<b>host lookup failure</b>"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.format, Qt::PlainText);
}

void TestExceptionBox::unknownExceptionsAreShownToo() {
    ExceptionRecorder recorder;
    try {
        throw 42;
    } catch (...) {
        HandleException();
    }
    Guarded([] { throw EUdpException("guarded"); })();
    QCOMPARE(recorder.shown, (QStringList{"Unknown exception", "guarded"}));
}

void TestExceptionBox::applicationCatchesWhatHandlersLetThrough() {
    ExceptionRecorder recorder;
    Throwing receiver;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &event);
    QCOMPARE(recorder.shown, QStringList{"thrown by an event"});
}

void TestExceptionBox::everyWindowTakesTheProgramFont() {
    const QFont program = FormFont();
    QMessageBox box;
    QMenu menu;
    QFileDialog files;
    for (const QWidget* window : std::initializer_list<const QWidget*>{&box, &menu, &files}) {
        QCOMPARE(window->font().family(), program.family());
        QCOMPARE(window->font().pixelSize(), program.pixelSize());
    }
}

void TestExceptionBox::qtTextsAreJapanese() {
    if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                           QStringLiteral("/qtbase_ja.qm"))) {
        QSKIP("Qt's Japanese translation is not installed (qt6-translations-l10n)");
    }
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    QLineEdit field;
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QVERIFY(!menu->actions().isEmpty());
    QVERIFY2(menu->actions().constFirst()->text().contains(QStringLiteral("元に戻す")),
             qPrintable(menu->actions().constFirst()->text()));
}

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestExceptionBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exceptionbox.moc"
