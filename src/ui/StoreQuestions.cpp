#include "ui/StoreQuestions.h"

#include <QGuiApplication>
#include <QHash>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct Button {
    const char* name;
    QString text;
    QMessageBox::ButtonRole role;
    TCloseChoice choice;
};

TCloseChoice Ask(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                 std::initializer_list<Button> buttons, TCloseChoice byDefault) {
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::NoButton,
                    parent);
    box.setTextFormat(Qt::PlainText);
    QHash<QAbstractButton*, TCloseChoice> choices;
    for (const Button& b : buttons) {
        QPushButton* button = box.addButton(b.text, b.role);
        button->setObjectName(QLatin1String(b.name));
        choices.insert(button, b.choice);
        if (b.choice == byDefault) {
            box.setDefaultButton(button);
            box.setEscapeButton(button);
        }
    }
    box.exec();
    return choices.value(box.clickedButton(), byDefault);
}

} // namespace

TCloseChoice AskOverwriteUnreadableStore(QWidget* parent, const QString& Path) {
    return Ask(
        parent, QMessageBox::Question,
        QStringLiteral("%1 を起動時に読み込めなかったため、一覧はまだ保存されていません。\n"
                       "このファイルを今の一覧で上書きしますか?")
            .arg(Path),
        {{"SaveBtn", QStringLiteral("上書き保存"), QMessageBox::AcceptRole, TCloseChoice::Save},
         {"DiscardBtn", QStringLiteral("保存せずに終了"), QMessageBox::DestructiveRole,
          TCloseChoice::Discard},
         {"StayBtn", QStringLiteral("キャンセル"), QMessageBox::RejectRole, TCloseChoice::Stay}},
        TCloseChoice::Stay);
}

TCloseChoice AskAfterFailedSave(QWidget* parent, const QString& Message) {
    return Ask(parent, QMessageBox::Critical, Message,
               {{"StayBtn", QStringLiteral("OK"), QMessageBox::AcceptRole, TCloseChoice::Stay},
                {"DiscardBtn", QStringLiteral("保存せずに終了"), QMessageBox::DestructiveRole,
                 TCloseChoice::Discard}},
               TCloseChoice::Stay);
}
