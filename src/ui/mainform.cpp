#include "ui/mainform.h"

#include "entries/EEntryStoreError.h"
#include "entries/EntryList.h"
#include "entries/IntConv.h"
#include "net/ApplicationException.h"
#include "transfer/TransferResult.h"
#include "transfer/UProgressForm.h"
#include "ui/DROPDST.h"
#include "ui/FormFont.h"
#include "ui/ModalResult.h"
#include "ui/StoreQuestions.h"
#include "ui/UAboutDialog.h"
#include "ui/entryEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QToolButton>
#include <stdexcept>

TForm1* Form1 = nullptr;

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

QLabel* PlainLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// A value label: entry data shown literally, as wide as the panel leaves it.
QLabel* ValueLabel(QWidget* parent, const char* name, int x, int y) {
    auto* label = PlainLabel(parent, QString(), x, y);
    label->setObjectName(QLatin1String(name));
    label->resize(ClientWidth - x - 4, label->sizeHint().height());
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

std::unique_ptr<TServerEntry> EntryFromDialog() {
    auto entry = std::make_unique<TServerEntry>();
    entry->EntryName = EntryEditDlg->EntryName->text();
    entry->ServerAddress = EntryEditDlg->ServerAddress->text();
    // The dialog accepts only a port text that converts.
    entry->ServerPort = TryStrToInt(EntryEditDlg->ServerPort->text()).value_or(0);
    entry->LocalFile = EntryEditDlg->LocalFile->text();
    entry->RemoteFile = EntryEditDlg->RemoteFile->text();
    return entry;
}

} // namespace

QString SendResultText(int Result) {
    switch (Result) {
    case trCompleted:
        return QStringLiteral("送信完了");
    case trAborted:
        return QStringLiteral("送信中止");
    case trBadPacket:
        return QStringLiteral("サーバーから不正なパケットを受信しました");
    case trFileOpenError:
        return QStringLiteral("ファイルがオープンできません");
    case trSocketCreateError:
        return QStringLiteral("ソケットの作成ができません");
    case trHostNotFound:
        return QStringLiteral("ホストが見つかりません");
    case trSocketError:
        return QStringLiteral("ソケットエラーです");
    case trTimeout:
        return QStringLiteral("タイムアウトしました");
    default:
        return QStringLiteral("予期せぬエラーです");
    }
}

QString DisplayFileName(const QString& Path) {
    const qsizetype last =
        std::max({Path.lastIndexOf(u'\\'), Path.lastIndexOf(u':'), Path.lastIndexOf(u'/')});
    return Path.sliced(last + 1);
}

TForm1::TForm1(const QString& StorePath, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , StorePath(StorePath) {
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
    FormCreate();
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
        {SendAction, "SendAction", "Net", "&Send", {}, &TForm1::SendActionExecute},
        {NewAction,
         "NewAction",
         "Entry",
         "&New",
         {Qt::CTRL | Qt::Key_N},
         &TForm1::NewActionExecute},
        {EditAction,
         "EditAction",
         "Entry",
         "&Edit",
         {Qt::CTRL | Qt::Key_E},
         &TForm1::EditActionExecute},
        {DuplicateAction,
         "DuplicateAction",
         "Entry",
         "&Copy",
         {Qt::CTRL | Qt::Key_D},
         &TForm1::DuplicateActionExecute},
        {DeleteAction,
         "DeleteAction",
         "Entry",
         "&Delete",
         {Qt::Key_Delete},
         &TForm1::DeleteActionExecute},
        {UpAction, "UpAction", "Entry", "&Up", {}, &TForm1::UpActionExecute},
        {DownAction, "DownAction", "Entry", "Do&wn", {}, &TForm1::DownActionExecute},
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
    // The shortcuts the platform's action lists could not hold at design time.
    UpAction->setShortcut(Qt::ALT | Qt::Key_Up);
    DownAction->setShortcut(Qt::ALT | Qt::Key_Down);
    // The first shortcut is the one menus show: the key is labelled Enter.
    SendAction->setShortcuts({Qt::Key_Enter, Qt::Key_Return});
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

    PlainLabel(Panel2, QStringLiteral("サーバアドレス:"), 61, 11)->setObjectName("Label2");
    PlainLabel(Panel2, QStringLiteral("サーバポート:"), 61, 27)->setObjectName("Label5");
    PlainLabel(Panel2, QStringLiteral("リモートファイル名:"), 61, 43)->setObjectName("Label4");
    PlainLabel(Panel2, QStringLiteral("ローカルファイル名:"), 13, 75)->setObjectName("Label3");
    ServerAddressLbl = ValueLabel(Panel2, "ServerAddressLbl", 168, 11);
    ServerPortLbl = ValueLabel(Panel2, "ServerPortLbl", 168, 27);
    RemoteFileLbl = ValueLabel(Panel2, "RemoteFileLbl", 168, 43);
    LocalFileLbl = ValueLabel(Panel2, "LocalFileLbl", 16, 88);

    FullPathChkBox = new QCheckBox(QStringLiteral("フルパスで表示"), Panel2);
    FullPathChkBox->setObjectName(QStringLiteral("FullPathChkBox"));
    FullPathChkBox->move(128, 72);
    FullPathChkBox->adjustSize();
    connect(FullPathChkBox, &QCheckBox::clicked, this, Guarded([this] { FullPathChkBoxClick(); }));
}

void TForm1::FormCreate() {
    try {
        const int before = EntryList.Count();
        EntryListBox->setUpdatesEnabled(false);
        LoadEntries(EntryList, StorePath);
        for (int i = before; i < EntryList.Count(); ++i) {
            AppendLine(EntryList.Get(i)->EntryName);
        }
        EntryListBox->setUpdatesEnabled(true);
    } catch (const EEntryStoreError&) {
        // The program runs with an empty list, and the file is left for the user to look at.
        EntryListBox->setUpdatesEnabled(true);
        StoreUnreadable = true;
        HandleException();
    }
    if (EntryListBox->count() > 0) {
        SetItemIndex(0);
    }
    RefreshDetails();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A store that could not be read did not give the list, so writing the list over it needs
    // the user's word; an empty list has nothing worth asking about.
    if (StoreUnreadable) {
        const TCloseChoice choice = EntryList.Count() == 0
                                        ? TCloseChoice::Discard
                                        : AskOverwriteUnreadableStore(this, StorePath);
        if (choice != TCloseChoice::Save) {
            event->setAccepted(choice == TCloseChoice::Discard);
            return;
        }
        // The list is to take the place of a file the user could not read, and perhaps not
        // write either: make it theirs to read and write, so that it can be replaced and read
        // at the next start.
        QFile::setPermissions(StorePath, QFile::permissions(StorePath) | QFileDevice::ReadOwner |
                                             QFileDevice::WriteOwner);
    }
    try {
        SaveEntries(EntryList, StorePath);
    } catch (const EEntryStoreError& e) {
        // The window stays open, so that the next close tries again, unless the user gives up
        // on a store that cannot be written at all.
        event->setAccepted(AskAfterFailedSave(this, QString::fromUtf8(e.what())) ==
                           TCloseChoice::Discard);
        return;
    }
    StoreUnreadable = false;
    event->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EntryListBox && event->type() == QEvent::KeyPress) {
        // Shift+F10 opens the context menu, as the Menu key does.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            // Just below the current line's start: a long line reaches far past the list.
            const QListWidgetItem* current = EntryListBox->currentItem();
            const QPoint at =
                current ? EntryListBox->visualItemRect(current).bottomLeft() : QPoint(0, 0);
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, at,
                                   EntryListBox->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(EntryListBox->viewport(), &menu);
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched != EntryListBox->viewport()) {
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Guarded([this] { SendActionExecute(); })();
        return true;
    }
    // A click below the last line keeps the selection, as in the platform's own list box.
    if (event->type() == QEvent::MouseButtonPress &&
        !EntryListBox->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid()) {
        EntryListBox->setFocus(Qt::MouseFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

int TForm1::ItemIndex() const {
    const QList<QListWidgetItem*> selected = EntryListBox->selectedItems();
    return selected.isEmpty() ? -1 : EntryListBox->row(selected.constFirst());
}

void TForm1::SetItemIndex(int Index) {
    const QScopedValueRollback syncing(Syncing, true);
    if (Index < 0) {
        EntryListBox->clearSelection();
        EntryListBox->setCurrentRow(-1);
    } else {
        EntryListBox->setCurrentRow(Index, QItemSelectionModel::ClearAndSelect);
    }
}

void TForm1::AppendLine(const QString& Text) {
    const QScopedValueRollback syncing(Syncing, true);
    EntryListBox->addItem(Text);
}

void TForm1::EntryListBoxClick() {
    if (Syncing) {
        return;
    }
    // Ctrl+click and Ctrl+Space would clear the selection, which the platform's list box never
    // lets the user do: its line stays selected.
    if (ItemIndex() < 0 && EntryListBox->count() > 0) {
        SetItemIndex(qMax(EntryListBox->currentRow(), 0));
    }
    RefreshDetails();
}

void TForm1::RefreshDetails() {
    ShowStatus(QString());
    const int index = ItemIndex();
    if (index < 0) {
        for (QLabel* label : {ServerAddressLbl, ServerPortLbl, LocalFileLbl, RemoteFileLbl}) {
            label->clear();
        }
        for (QAction* action :
             {SendAction, EditAction, DuplicateAction, DeleteAction, UpAction, DownAction}) {
            action->setEnabled(false);
        }
        return;
    }
    if (EntryListBox->count() != EntryList.Count()) {
        throw std::logic_error(
            QStringLiteral("%1 (%2, %3 行)")
                .arg(QStringLiteral("Assertion failure"), QStringLiteral("mainform"))
                .arg(124)
                .toStdString());
    }
    const TServerEntry* entry = EntryList.Get(index);
    ServerAddressLbl->setText(entry->ServerAddress);
    ServerPortLbl->setText(QString::number(entry->ServerPort));
    LocalFileLbl->setText(FullPathChkBox->isChecked() ? entry->LocalFile
                                                      : DisplayFileName(entry->LocalFile));
    RemoteFileLbl->setText(entry->RemoteFile);
    for (QAction* action : {SendAction, EditAction, DuplicateAction, DeleteAction}) {
        action->setEnabled(true);
    }
    UpAction->setEnabled(index != 0);
    DownAction->setEnabled(index != EntryListBox->count() - 1);
}

void TForm1::ShowStatus(const QString& Text) {
    StatusText->setText(Text);
}

void TForm1::SendActionExecute() {
    const int index = ItemIndex();
    if (index < 0) {
        return;
    }
    ShowStatus(QString());
    ProgressForm->Entry = EntryList.Get(index);
    const int result = ProgressForm->exec();
    ShowStatus(SendResultText(result));
}

void TForm1::NewActionExecute() {
    EntryEditDlg->EntryName->clear();
    EntryEditDlg->ServerAddress->clear();
    EntryEditDlg->ServerPort->setText(QStringLiteral("69"));
    EntryEditDlg->LocalFile->clear();
    EntryEditDlg->RemoteFile->clear();
    if (EntryEditDlg->exec() == mrOk) {
        auto entry = EntryFromDialog();
        const QString name = entry->EntryName;
        EntryList.Append(std::move(entry));
        AppendLine(name);
    }
    RefreshDetails();
}

void TForm1::EditActionExecute() {
    const int index = ItemIndex();
    if (index < 0) {
        return;
    }
    const TServerEntry* entry = EntryList.Get(index);
    EntryEditDlg->EntryName->setText(entry->EntryName);
    EntryEditDlg->ServerAddress->setText(entry->ServerAddress);
    EntryEditDlg->ServerPort->setText(QString::number(entry->ServerPort));
    EntryEditDlg->LocalFile->setText(entry->LocalFile);
    EntryEditDlg->RemoteFile->setText(entry->RemoteFile);
    if (EntryEditDlg->exec() == mrOk) {
        *EntryList.Get(index) = *EntryFromDialog();
        EntryListBox->item(index)->setText(EntryList.Get(index)->EntryName);
    }
    RefreshDetails();
}

void TForm1::DuplicateActionExecute() {
    const int index = ItemIndex();
    if (index < 0) {
        return;
    }
    const QString name = EntryList.Get(index)->EntryName;
    EntryList.Append(std::make_unique<TServerEntry>(*EntryList.Get(index)));
    AppendLine(name);
    SetItemIndex(EntryListBox->count() - 1);
    RefreshDetails();
}

void TForm1::DeleteActionExecute() {
    const int index = ItemIndex();
    if (index < 0) {
        return;
    }
    EntryList.Delete(index);
    {
        const QScopedValueRollback syncing(Syncing, true);
        delete EntryListBox->takeItem(index);
    }
    SetItemIndex(EntryListBox->count() == 0 ? -1 : std::max(index - 1, 0));
    RefreshDetails();
}

void TForm1::UpActionExecute() {
    const int index = ItemIndex();
    if (index <= 0 || EntryListBox->count() == 1) {
        return;
    }
    SwapEntries(index, index - 1);
}

void TForm1::DownActionExecute() {
    const int index = ItemIndex();
    if (index < 0 || EntryListBox->count() == 1 || index == EntryListBox->count() - 1) {
        return;
    }
    SwapEntries(index, index + 1);
}

void TForm1::SwapEntries(int From, int To) {
    EntryList.Exchange(From, To);
    QListWidgetItem* from = EntryListBox->item(From);
    QListWidgetItem* to = EntryListBox->item(To);
    const QString text = from->text();
    from->setText(to->text());
    to->setText(text);
    SetItemIndex(To);
    RefreshDetails();
}

void TForm1::FullPathChkBoxClick() {
    if (ItemIndex() >= 0) {
        RefreshDetails();
    }
}

void TForm1::DropDst1FileDrop(QObject*, const QStringList& Files, int, int) {
    const int index = ItemIndex();
    if (index < 0) {
        return;
    }
    // Each file goes to the selected entry's server under the entry's remote name; the results
    // are not shown, and the next file follows whatever became of the last.
    const TServerEntry* selected = EntryList.Get(index);
    TServerEntry temporary;
    for (const QString& path : Files) {
        temporary.ServerAddress = selected->ServerAddress;
        temporary.ServerPort = selected->ServerPort;
        temporary.RemoteFile = selected->RemoteFile;
        temporary.LocalFile = path;
        ProgressForm->Entry = &temporary;
        ProgressForm->exec();
    }
    ProgressForm->Entry = nullptr;
}

void TForm1::AboutBtnClick() {
    AboutDlg->exec();
}
