#include "transfer/LineListBox.h"
#include "transfer/debug.h"

#include <QScrollBar>
#include <QTest>

class TestDebugForm : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void recordsOnlyWhileShown();
    void hidingKeepsLines();
    void linesAreTwelvePixelsHigh();
    void placement();
    void noWindowNoTrace();

private:
    TDebugForm* form = nullptr;
};

void TestDebugForm::init() {
    form = new TDebugForm;
    DebugForm = form;
}

void TestDebugForm::cleanup() {
    DebugForm = nullptr;
    delete form;
}

void TestDebugForm::recordsOnlyWhileShown() {
    DebugWrite(QStringLiteral("before"));
    QVERIFY(form->Lines().isEmpty());
    form->show();
    DebugWrite(QStringLiteral("  ack recved(block#0)"));
    QCOMPARE(form->Lines(), QStringList{"  ack recved(block#0)"});
    QCOMPARE(form->DebugListBox->Lines().size(), 1);
}

void TestDebugForm::hidingKeepsLines() {
    form->show();
    DebugWrite(QStringLiteral("one"));
    form->close();
    QVERIFY(!form->isVisible());
    DebugWrite(QStringLiteral("while hidden"));
    form->show();
    DebugWrite(QStringLiteral("two"));
    QCOMPARE(form->Lines(), (QStringList{"one", "two"}));
}

void TestDebugForm::linesAreTwelvePixelsHigh() {
    form->show();
    for (int i = 0; i < 100; ++i) {
        DebugWrite(QString::number(i));
    }
    TLineListBox* list = form->DebugListBox;
    QCOMPARE(list->VisibleCount(), list->viewport()->height() / 12);
    QVERIFY(list->VisibleCount() > 10);
    QCOMPARE(list->verticalScrollBar()->maximum(), 100 - list->VisibleCount());
    // New lines do not drag the view along, and scrolling goes line by line.
    QCOMPARE(list->TopIndex(), 0);
    list->verticalScrollBar()->setValue(5);
    DebugWrite(QStringLiteral("100"));
    QCOMPARE(list->TopIndex(), 5);
    QCOMPARE(list->verticalScrollBar()->maximum(), 101 - list->VisibleCount());
}

void TestDebugForm::placement() {
    form->show();
    QCOMPARE(form->windowTitle(), QStringLiteral("DebugForm"));
    QCOMPARE(form->frameGeometry().topLeft(), QPoint(690, 133));
    QCOMPARE(form->frameGeometry().size(), QSize(356, 272));
    QCOMPARE(form->DebugListBox->geometry(), form->rect());
}

void TestDebugForm::noWindowNoTrace() {
    form->show();
    DebugForm = nullptr;
    DebugWrite(QStringLiteral("nobody listens"));
    QVERIFY(form->Lines().isEmpty());
}

QTEST_MAIN(TestDebugForm)
#include "tst_debugform.moc"
