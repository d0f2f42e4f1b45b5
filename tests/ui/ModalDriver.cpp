#include "ModalDriver.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

void OnNextModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                window->close();
            }
            QFAIL("no modal dialog is showing");
        }
        action(dialog);
    });
}

void Type(QWidget* dialog, const char* field, const QString& text) {
    auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(field));
    QVERIFY2(edit, field);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}
