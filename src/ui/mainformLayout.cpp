// How the main window is put together: its controls, their fixed places and names, the
// actions with their shortcuts, and which handler each control calls. The handlers themselves
// are in mainform.cpp.
#include "ui/mainform.h"

#include "net/ApplicationException.h"
#include "ui/DROPDST.h"
#include "ui/FormFont.h"
#include "ui/PlainLabel.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QToolButton>

namespace {

constexpr int ClientWidth = 323;
constexpr int ToolBarHeight = 51;
constexpr int DetailsHeight = 105;
constexpr int StatusBarHeight = 20;
constexpr int ClientHeight = 285;
constexpr int ButtonWidth = 40;
constexpr int ButtonHeight = 47;

QPixmap Picture(const QString& name, QSize size, qreal ratio) {
    return QIcon(QStringLiteral(":/pictures/%1.png").arg(name)).pixmap(size, ratio);
}

// A value label: entry data shown literally, as wide as the panel leaves it. A screen reader
// names it by its caption and reads the value as its description.
QLabel* ValueLabel(QWidget* parent, const char* name, int x, int y, const QLabel* caption) {
    auto* label = PlainLabel(parent, QString(), x, y);
    label->setObjectName(QLatin1String(name));
    label->resize(ClientWidth - x - 4, label->sizeHint().height());
    QString accessible = caption->text();
    accessible.chop(1);
    label->setAccessibleName(accessible);
    return label;
}

// A toolbar button or menu item shows its own caption, runs its action and is enabled exactly
// when the action is.
void FollowAction(QWidget* widget, QAction* action) {
    widget->setEnabled(action->isEnabled());
    QObject::connect(action, &QAction::enabledChanged, widget, &QWidget::setEnabled);
}

void AddMenuItem(QMenu* menu, const char* name, const QString& caption, QAction* action) {
    const QString shortcut = action->shortcut().toString(QKeySequence::NativeText);
    QAction* item = menu->addAction(shortcut.isEmpty() ? caption : caption + u'\t' + shortcut);
    item->setObjectName(QLatin1String(name));
    item->setEnabled(action->isEnabled());
    QObject::connect(action, &QAction::enabledChanged, item, &QAction::setEnabled);
    QObject::connect(item, &QAction::triggered, action, [action] { action->trigger(); });
}

} // namespace

void TForm1::CreateControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Zanvel TFTP "));
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);

    BuildActions();
    BuildToolBar();

    EntryListBox = new QListWidget(this);
    EntryListBox->setObjectName(QStringLiteral("EntryListBox"));
    EntryListBox->setGeometry(0, ToolBarHeight, ClientWidth,
                              ClientHeight - ToolBarHeight - DetailsHeight - StatusBarHeight);
    EntryListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    EntryListBox->setUniformItemSizes(true);
    // Like the platform's list box, a long name is cut at the edge rather than scrolled to.
    EntryListBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    EntryListBox->setTextElideMode(Qt::ElideNone);
    EntryListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    EntryListBox->setAccessibleName(QStringLiteral("エントリ一覧"));
    EntryListBox->viewport()->installEventFilter(this);
    EntryListBox->installEventFilter(this);
    connect(EntryListBox, &QListWidget::itemSelectionChanged, this,
            Guarded([this] { EntryListBoxClick(); }));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    AddMenuItem(PopupMenu1, "Send1", QStringLiteral("サーバーへ送信"), SendAction);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    AddMenuItem(PopupMenu1, "New1", QStringLiteral("エントリの新規作成"), NewAction);
    AddMenuItem(PopupMenu1, "Edit1", QStringLiteral("エントリの編集"), EditAction);
    AddMenuItem(PopupMenu1, "Duplicate1", QStringLiteral("エントリの複製"), DuplicateAction);
    AddMenuItem(PopupMenu1, "Delete1", QStringLiteral("エントリの削除"), DeleteAction);
    AddMenuItem(PopupMenu1, "Up1", QStringLiteral("エントリを一つ上へ移動"), UpAction);
    AddMenuItem(PopupMenu1, "Down1", QStringLiteral("エントリを一つ下へ移動"), DownAction);
    connect(EntryListBox, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { PopupMenu1->popup(EntryListBox->viewport()->mapToGlobal(at)); });

    BuildDetails();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, ClientHeight - StatusBarHeight, ClientWidth, StatusBarHeight);
    // A permanent widget, which no status tip can push aside.
    StatusText = new QLabel(StatusBar1);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    StatusText->setTextFormat(Qt::PlainText);
    StatusText->setAccessibleName(QStringLiteral("状態"));
    StatusBar1->addPermanentWidget(StatusText, 1);

    DropDst1 = new TDropDst(this);
    DropDst1->setObjectName(QStringLiteral("DropDst1"));
    DropDst1->SetControl(Panel1);
    DropDst1->SetTarget(htControl);
    DropDst1->OnFileDrop = [this](QObject* Sender, const QStringList& Files, int X, int Y) {
        DropDst1FileDrop(Sender, Files, X, Y);
    };
    DropDst1->Loaded();

    EntryListBox->setFocus();
}

void TForm1::BuildActions() {
    const struct {
        QAction*& action;
        const char* name;
        const char* category;
        const char* caption;
        QList<QKeySequence> shortcuts;
        void (TForm1::*handler)();
    } actions[] = {
        // clang-format off
        // The first shortcut is the one menus show: the key is labelled Enter.
        {SendAction,      "SendAction",      "Net",   "&Send",   {Qt::Key_Enter, Qt::Key_Return}, &TForm1::SendActionExecute},
        {NewAction,       "NewAction",       "Entry", "&New",    {Qt::CTRL | Qt::Key_N},          &TForm1::NewActionExecute},
        {EditAction,      "EditAction",      "Entry", "&Edit",   {Qt::CTRL | Qt::Key_E},          &TForm1::EditActionExecute},
        {DuplicateAction, "DuplicateAction", "Entry", "&Copy",   {Qt::CTRL | Qt::Key_D},          &TForm1::DuplicateActionExecute},
        {DeleteAction,    "DeleteAction",    "Entry", "&Delete", {Qt::Key_Delete},                &TForm1::DeleteActionExecute},
        {UpAction,        "UpAction",        "Entry", "&Up",     {Qt::ALT | Qt::Key_Up},          &TForm1::UpActionExecute},
        {DownAction,      "DownAction",      "Entry", "Do&wn",   {Qt::ALT | Qt::Key_Down},        &TForm1::DownActionExecute},
        // clang-format on
    };
    for (const auto& a : actions) {
        a.action = new QAction(QLatin1String(a.caption), this);
        a.action->setObjectName(QLatin1String(a.name));
        a.action->setProperty("Category", QLatin1String(a.category));
        a.action->setShortcuts(a.shortcuts);
        connect(a.action, &QAction::triggered, this,
                Guarded([this, h = a.handler] { (this->*h)(); }));
        addAction(a.action);
    }
}

void TForm1::BuildToolBar() {
    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(0, 0, ClientWidth, ToolBarHeight);
    const struct {
        QToolButton*& button;
        const char* name;
        const char* caption;
        const char* picture;
        QAction* action;
    } buttons[] = {
        {SendBtn, "SendBtn", "送信", "send", SendAction},
        {NewBtn, "NewBtn", "新規", "new", NewAction},
        {EditBtn, "EditBtn", "編集", "edit", EditAction},
        {DuplicateBtn, "DuplicateBtn", "複製", "duplicate", DuplicateAction},
        {DeleteBtn, "DeleteBtn", "削除", "delete", DeleteAction},
        {UpBtn, "UpBtn", "上へ", "up", UpAction},
        {DownBtn, "DownBtn", "下へ", "down", DownAction},
        {AboutBtn, "AboutBtn", "About", "about", nullptr},
    };
    int x = 0;
    for (const auto& b : buttons) {
        b.button = new QToolButton(ToolBar1);
        b.button->setObjectName(QLatin1String(b.name));
        b.button->setText(QString::fromUtf8(b.caption));
        b.button->setIcon(QIcon(QStringLiteral(":/pictures/%1.png").arg(QLatin1String(b.picture))));
        b.button->setIconSize(QSize(16, 16));
        b.button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b.button->setAutoRaise(true);
        b.button->setFocusPolicy(Qt::NoFocus);
        b.button->setGeometry(x, 2, ButtonWidth, ButtonHeight);
        x += ButtonWidth;
        if (b.action) {
            FollowAction(b.button, b.action);
            connect(b.button, &QToolButton::clicked, b.action, [a = b.action] { a->trigger(); });
        }
    }
    connect(AboutBtn, &QToolButton::clicked, this, Guarded([this] { AboutBtnClick(); }));
}

void TForm1::BuildDetails() {
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, ClientHeight - StatusBarHeight - DetailsHeight, ClientWidth,
                        DetailsHeight);

    Panel1 = new QWidget(Panel2);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(16, 16, 33, 33);
    Panel1->setToolTip(QStringLiteral("ここにファイルをドロップしても転送することができます"));
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(1, 1, 32, 32);
    Image1->setPixmap(Picture(QStringLiteral("computer"), QSize(32, 32), devicePixelRatioF()));
    Image2 = new QLabel(Panel2);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(28, 53, 13, 13);
    Image2->setPixmap(Picture(QStringLiteral("arrow"), QSize(13, 13), devicePixelRatioF()));

    QLabel* label2 = PlainLabel(Panel2, QStringLiteral("サーバアドレス:"), 61, 11);
    QLabel* label5 = PlainLabel(Panel2, QStringLiteral("サーバポート:"), 61, 27);
    QLabel* label4 = PlainLabel(Panel2, QStringLiteral("リモートファイル名:"), 61, 43);
    QLabel* label3 = PlainLabel(Panel2, QStringLiteral("ローカルファイル名:"), 13, 75);
    label2->setObjectName("Label2");
    label5->setObjectName("Label5");
    label4->setObjectName("Label4");
    label3->setObjectName("Label3");
    ServerAddressLbl = ValueLabel(Panel2, "ServerAddressLbl", 168, 11, label2);
    ServerPortLbl = ValueLabel(Panel2, "ServerPortLbl", 168, 27, label5);
    RemoteFileLbl = ValueLabel(Panel2, "RemoteFileLbl", 168, 43, label4);
    LocalFileLbl = ValueLabel(Panel2, "LocalFileLbl", 16, 88, label3);

    FullPathChkBox = new QCheckBox(QStringLiteral("フルパスで表示"), Panel2);
    FullPathChkBox->setObjectName(QStringLiteral("FullPathChkBox"));
    FullPathChkBox->move(128, 72);
    FullPathChkBox->adjustSize();
    connect(FullPathChkBox, &QCheckBox::clicked, this, Guarded([this] { FullPathChkBoxClick(); }));
}
