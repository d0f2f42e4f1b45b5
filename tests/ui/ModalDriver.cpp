#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
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

void Answer(const QString& button, QString* text) {
    OnNextModal([button, text](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        auto* choice = box ? box->findChild<QAbstractButton*>(button) : nullptr;
        if (!choice) {
            dialog->close();
            QFAIL(qPrintable(QStringLiteral("no message box with a button ") + button));
        }
        if (text) {
            *text = box->text();
        }
        choice->click();
    });
}

std::shared_ptr<bool> CloseStrayBox(int afterMs) {
    auto appeared = std::make_shared<bool>(false);
    QTimer::singleShot(afterMs, [appeared] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            *appeared = true;
            box->close();
        }
    });
    return appeared;
}
