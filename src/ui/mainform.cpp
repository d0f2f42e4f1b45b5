#include "ui/mainform.h"

#include "entries/EEntryStoreError.h"
#include "entries/EntryList.h"
#include "net/ApplicationException.h"
#include "transfer/TransferResult.h"
#include "transfer/UProgressForm.h"
#include "transfer/Upload.h"
#include "ui/ModalResult.h"
#include "ui/StoreQuestions.h"
#include "ui/UAboutDialog.h"
#include "ui/entryEdit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>
#include <stdexcept>

TForm1* Form1 = nullptr;

namespace {

// Shows a value in its label. What the label cannot show whole (cut at its edge, or a path shown
// by its file name) is in its tooltip, and a screen reader hears it.
void ShowValue(QLabel* label, const QString& shown, const QString& whole) {
    label->setText(shown);
    const bool cut =
        shown != whole || label->fontMetrics().horizontalAdvance(shown) > label->width();
    // Entry data is text, never markup, in the tooltip too.
    label->setToolTip(cut ? Qt::convertFromPlainText(whole) : QString());
    label->setAccessibleDescription(whole);
}

// What the status bar says of how the progress dialog's last upload ended.
QString OutcomeText(int result) {
    const TUpload& upload = *ProgressForm->Upload1;
    return TransferStatusText(result, upload.FailureText(), upload.ServerError(),
                              upload.AllDataSent());
}

} // namespace

QString DisplayFileName(const QString& Path) {
    const qsizetype last =
        std::max({Path.lastIndexOf(u'\\'), Path.lastIndexOf(u':'), Path.lastIndexOf(u'/')});
    return Path.sliced(last + 1);
}

TForm1::TForm1(const TStoreLocation& Store, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , Store(Store) {
    CreateControls();
    FormCreate();
}

void TForm1::FormCreate() {
    try {
        const int before = EntryList.Count();
        EntryListBox->setUpdatesEnabled(false);
        LoadEntries(EntryList, Store.ReadPath());
        for (int i = before; i < EntryList.Count(); ++i) {
            AppendLine(EntryList.Get(i)->EntryName);
        }
        EntryListBox->setUpdatesEnabled(true);
    } catch (const EEntryStoreError&) {
        // The program runs with an empty list, and the file is left for the user to look at.
        // Entries shipped beside the program are not the user's: saving cannot harm them.
        EntryListBox->setUpdatesEnabled(true);
        StoreUnreadable = Store.ReadsWhatItSaves();
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
                                        : AskOverwriteUnreadableStore(this, Store.Path);
        if (choice != TCloseChoice::Save) {
            event->setAccepted(choice == TCloseChoice::Discard);
            return;
        }
        // The list is to take the place of a file the user could not read, and perhaps not
        // write either: make it theirs to read and write, so that it can be replaced and read
        // at the next start.
        QFile::setPermissions(Store.Path, QFile::permissions(Store.Path) | QFileDevice::ReadOwner |
                                              QFileDevice::WriteOwner);
    }
    try {
        SaveEntries(EntryList, Store);
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
    if (event->type() == QEvent::ToolTip) {
        ShowCutName(static_cast<QHelpEvent*>(event));
        return true;
    }
    // Only a double click on an entry's line sends: one below the last line is on nothing, and
    // keeps the selection as a click there does.
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (EntryListBox->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint())
                .isValid()) {
            Guarded([this] { SendActionExecute(); })();
        }
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

void TForm1::ShowCutName(const QHelpEvent* Event) {
    // A name wider than its line is cut at the list's edge; hovering over it shows it whole.
    const QModelIndex index = EntryListBox->indexAt(Event->pos());
    const QString name = index.data().toString();
    // A line is as wide as its text; the viewport shows what fits.
    const QRect line =
        EntryListBox->visualRect(index).intersected(EntryListBox->viewport()->rect());
    const int margin = EntryListBox->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
    if (index.isValid() &&
        EntryListBox->fontMetrics().horizontalAdvance(name) + 2 * margin > line.width()) {
        QToolTip::showText(Event->globalPos(), Qt::convertFromPlainText(name),
                           EntryListBox->viewport(), line);
    } else {
        QToolTip::hideText();
    }
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
            ShowValue(label, QString(), QString());
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
    ShowValue(ServerAddressLbl, entry->ServerAddress, entry->ServerAddress);
    ShowValue(ServerPortLbl, QString::number(entry->ServerPort),
              QString::number(entry->ServerPort));
    ShowValue(LocalFileLbl,
              FullPathChkBox->isChecked() ? entry->LocalFile : DisplayFileName(entry->LocalFile),
              entry->LocalFile);
    ShowValue(RemoteFileLbl, entry->RemoteFile, entry->RemoteFile);
    for (QAction* action : {SendAction, EditAction, DuplicateAction, DeleteAction}) {
        action->setEnabled(true);
    }
    UpAction->setEnabled(index != 0);
    DownAction->setEnabled(index != EntryListBox->count() - 1);
}

void TForm1::ShowStatus(const QString& Text) {
    ShowValue(StatusText, Text, Text);
}

void TForm1::SendActionExecute() {
    const int index = ItemIndex();
    if (index < 0) {
        return;
    }
    ShowStatus(QString());
    ProgressForm->Entry = EntryList.Get(index);
    const int result = ProgressForm->exec();
    ShowStatus(OutcomeText(result));
}

void TForm1::NewActionExecute() {
    EntryEditDlg->SetEntry(TServerEntry());
    if (EntryEditDlg->exec() == mrOk) {
        auto entry = std::make_unique<TServerEntry>(EntryEditDlg->Entry());
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
    EntryEditDlg->SetEntry(*EntryList.Get(index));
    if (EntryEditDlg->exec() == mrOk) {
        *EntryList.Get(index) = EntryEditDlg->Entry();
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
    if (index < 0 || Files.isEmpty()) {
        return;
    }
    ShowStatus(QString());
    // Each file goes out as the selected entry would send it, options included, with only the
    // local file replaced. A failure does not stop the others; the user's abort does.
    const TServerEntry selected = *EntryList.Get(index);
    qsizetype failed = 0;
    QString firstFailure;
    for (const QString& path : Files) {
        TServerEntry temporary = WithLocalFile(selected, path);
        ProgressForm->Entry = &temporary;
        const int result = ProgressForm->exec();
        ProgressForm->Entry = nullptr;
        if (result == trAborted) {
            ShowStatus(TransferResultText(result));
            return;
        }
        if (result != trCompleted && failed++ == 0) {
            firstFailure = QStringLiteral("%1: %2").arg(DisplayFileName(path), OutcomeText(result));
        }
    }
    if (failed == 0) {
        ShowStatus(QStringLiteral("%1 個のファイルを送信しました").arg(Files.size()));
    } else if (Files.size() == 1) {
        ShowStatus(firstFailure);
    } else {
        ShowStatus(QStringLiteral("%1 個中 %2 個失敗、%3")
                       .arg(Files.size())
                       .arg(failed)
                       .arg(firstFailure));
    }
}

void TForm1::AboutBtnClick() {
    AboutDlg->exec();
}
