#include "ui/entryEdit.h"

#include "entries/IntConv.h"
#include "ui/InputError.h"
#include "ui/ModalResult.h"
#include "ui/entryOptions.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

TEntryEditDlg* EntryEditDlg = nullptr;

TEntryEditDlg::TEntryEditDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    CreateControls();
}

void TEntryEditDlg::SetEntry(const TServerEntry& Entry) {
    Edited = Entry;
    EntryName->setText(Entry.EntryName);
    ServerAddress->setText(Entry.ServerAddress);
    ServerPort->setText(QString::number(Entry.ServerPort));
    LocalFile->setText(Entry.LocalFile);
    RemoteFile->setText(Entry.RemoteFile);
}

TServerEntry TEntryEditDlg::Entry() const {
    TServerEntry entry = Edited;
    entry.EntryName = EntryName->text();
    entry.ServerAddress = ServerAddress->text();
    // OK accepts only a port text that converts.
    entry.ServerPort = TryStrToInt(ServerPort->text()).value_or(0);
    entry.LocalFile = LocalFile->text();
    entry.RemoteFile = RemoteFile->text();
    return entry;
}

QFileDialog* TEntryEditDlg::OpenDialog1() {
    if (!FOpenDialog1) {
        FOpenDialog1 = new QFileDialog(this);
        FOpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
        FOpenDialog1->setFileMode(QFileDialog::ExistingFile);
        FOpenDialog1->setNameFilters({QStringLiteral("全てのファイル (*)"),
                                      QStringLiteral("binファイル (*.bin)"),
                                      QStringLiteral("exeファイル (*.exe)")});
    }
    return FOpenDialog1;
}

void TEntryEditDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TEntryEditDlg::FormShow() {
    EntryName->setFocus();
}

void TEntryEditDlg::BrowseButtonClick() {
    // The dialog starts from the file chosen last, never from what LocalFile holds.
    QFileDialog* files = OpenDialog1();
    if (!LastChosenFile.isEmpty()) {
        files->selectFile(LastChosenFile);
    }
    if (files->exec() != QDialog::Accepted || files->selectedFiles().isEmpty()) {
        return;
    }
    LastChosenFile = files->selectedFiles().constFirst();
    LocalFile->setText(LastChosenFile);
}

void TEntryEditDlg::OKBtnClick() {
    for (const QLineEdit* field : {EntryName, ServerAddress, ServerPort, LocalFile, RemoteFile}) {
        if (field->text().isEmpty()) {
            ShowInputError(this, QStringLiteral("未記入項目があります"));
            return;
        }
    }
    if (!TryStrToInt(ServerPort->text())) {
        ShowInputError(this, QStringLiteral("サーバーポートが不正です"));
        return;
    }
    done(mrOk);
}

void TEntryEditDlg::OptionsBtnClick() {
    OptionsDlg->SetEntry(Edited);
    if (OptionsDlg->exec() == mrOk) {
        Edited = OptionsDlg->Applied(Edited);
    }
}

void TEntryEditDlg::reject() {
    done(mrCancel);
}
