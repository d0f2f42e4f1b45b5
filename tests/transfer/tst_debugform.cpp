#include "debug.h"

#include <QListView>
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
    QCOMPARE(form->DebugListBox->model()->rowCount(), 1);
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
    QListView* list = form->DebugListBox;
    QCOMPARE(list->visualRect(list->model()->index(0, 0)).height(), 12);
    QCOMPARE(list->visualRect(list->model()->index(1, 0)).top(), 12);
    // New lines do not drag the view along.
    QCOMPARE(list->indexAt(QPoint(1, 1)).row(), 0);
}

void TestDebugForm::placement() {
    form->show();
    QCOMPARE(form->windowTitle(), QStringLiteral("DebugForm"));
    QCOMPARE(form->frameGeometry().topLeft(), QPoint(690, 133));
    QCOMPARE(form->frameGeometry().size(), QSize(356, 272));
    QCOMPARE(form->DebugListBox->geometry(), form->rect());
}

void TestDebugForm::noWindowNoTrace() {
    DebugForm = nullptr;
    DebugWrite(QStringLiteral("nobody listens"));
    QVERIFY(form->Lines().isEmpty());
}

QTEST_MAIN(TestDebugForm)
#include "tst_debugform.moc"
