// How the entry edit dialog is put together: its fields and buttons, their fixed places, names
// and tab order, and which handler each button calls.
#include "ui/entryEdit.h"

#include "transfer/ScreenPlace.h"
#include "ui/FormFont.h"
#include "ui/entryOptions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

constexpr int FieldHeight = 21;

// The entry store cannot keep a line break inside a value, so a pasted one becomes a blank here
// just as the store would write it.
void KeepOnOneLine(QLineEdit* field) {
    QObject::connect(field, &QLineEdit::textChanged, field, [field](const QString& text) {
        if (text.contains(u'\r') || text.contains(u'\n')) {
            const int cursor = field->cursorPosition();
            QString oneLine = text;
            field->setText(oneLine.replace(u'\r', u' ').replace(u'\n', u' '));
            field->setCursorPosition(cursor);
        }
    });
}

} // namespace

void TEntryEditDlg::CreateControls() {
    EntryName = new QLineEdit(this);
    ServerAddress = new QLineEdit(this);
    ServerPort = new QLineEdit(this);
    LocalFile = new QLineEdit(this);
    RemoteFile = new QLineEdit(this);
    BrowseButton = new QToolButton(this);
    OKBtn = new QPushButton(QStringLiteral("&OK"), this);
    CancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    OptionsBtn = new QPushButton(QStringLiteral("詳細…"), this);
    OptionsDlg = new TEntryOptionsDlg(this);
    setObjectName(QStringLiteral("EntryEditDlg"));
    setWindowTitle(QStringLiteral("エントリ編集"));
    setFont(FormFont());
    setFixedSize(401, 205);
    new TScreenPlace(this);

    const struct {
        const char* label;
        QLineEdit* field;
        const char* name;
        int top;
        int width;
    } rows[] = {
        {"エントリ名", EntryName, "EntryName", 8, 273},
        {"サーバーアドレス", ServerAddress, "ServerAddress", 40, 273},
        {"サーバーポート", ServerPort, "ServerPort", 72, 65},
        {"ローカルファイル名", LocalFile, "LocalFile", 104, 241},
        {"リモートファイル名", RemoteFile, "RemoteFile", 136, 273},
    };
    for (const auto& row : rows) {
        auto* label = new QLabel(QString::fromUtf8(row.label), this);
        label->move(16, row.top + 4);
        label->adjustSize();
        label->setBuddy(row.field);
        // A screen reader names the field by its caption.
        row.field->setAccessibleName(label->text());
        row.field->setObjectName(QLatin1String(row.name));
        row.field->setGeometry(120, row.top, row.width, FieldHeight);
        KeepOnOneLine(row.field);
    }

    BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
    BrowseButton->setGeometry(368, 104, 23, 22);
    BrowseButton->setIcon(QIcon(QStringLiteral(":/pictures/browse.png")));
    BrowseButton->setFocusPolicy(Qt::NoFocus);
    BrowseButton->setAccessibleName(QStringLiteral("参照"));
    BrowseButton->setToolTip(QStringLiteral("送信するファイルを選びます"));
    connect(BrowseButton, &QToolButton::clicked, this, [this] { BrowseButtonClick(); });

    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(127, 172, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(207, 172, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
    OptionsBtn->setObjectName(QStringLiteral("OptionsBtn"));
    OptionsBtn->setGeometry(287, 172, 75, 25);
    connect(OptionsBtn, &QPushButton::clicked, this, [this] { OptionsBtnClick(); });

    setTabOrder(EntryName, ServerAddress);
    setTabOrder(ServerAddress, ServerPort);
    setTabOrder(ServerPort, LocalFile);
    setTabOrder(LocalFile, RemoteFile);
    setTabOrder(RemoteFile, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, OptionsBtn);
}
