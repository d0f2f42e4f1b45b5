#include "support/ModalDriver.h"

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
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Delete);
    }
    QTest::keyClicks(edit, text);
}

ShownBox Shown(const QMessageBox* box) {
    return {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
            box->textFormat()};
}

namespace {

void AnswerWith(const QString& what, std::function<QAbstractButton*(QMessageBox*)> find,
                std::function<void(QMessageBox*)> keep) {
    OnNextModal([what, find = std::move(find), keep = std::move(keep)](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QAbstractButton* choice = box ? find(box) : nullptr;
        if (!choice) {
            dialog->close();
            QFAIL(qPrintable(QStringLiteral("no message box with a button ") + what));
        }
        keep(box);
        choice->click();
    });
}

} // namespace

void Answer(const QString& button, QString* text) {
    AnswerWith(
        button, [button](QMessageBox* box) { return box->findChild<QAbstractButton*>(button); },
        [text](QMessageBox* box) {
            if (text) {
                *text = box->text();
            }
        });
}

void Answer(QMessageBox::StandardButton button, ShownBox* shown) {
    AnswerWith(
        QString::number(button), [button](QMessageBox* box) { return box->button(button); },
        [shown](QMessageBox* box) {
            if (shown) {
                *shown = Shown(box);
            }
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
