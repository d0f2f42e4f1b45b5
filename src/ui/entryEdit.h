#pragma once

#include "entries/serverEntry.h"

#include <QDialog>

class QFileDialog;
class QLineEdit;
class QPushButton;
class QToolButton;
class TEntryOptionsDlg;

// The dialog in which the user types the five values of a server entry, and through 詳細… its
// options. The caller gives it an entry, shows it modally and, on mrOk, takes the edited entry
// back; it refuses to close with OK while a field is empty or the port is not an integer.
class TEntryEditDlg : public QDialog {
    Q_OBJECT

public:
    explicit TEntryEditDlg(QWidget* parent = nullptr);

    // Fills the fields from Entry.
    void SetEntry(const TServerEntry& Entry);
    // The entry given last with the fields' values; whatever else it holds stays as it was.
    TServerEntry Entry() const;

    QLineEdit* EntryName;
    QLineEdit* ServerAddress;
    QLineEdit* ServerPort;
    QLineEdit* LocalFile;
    QLineEdit* RemoteFile;
    QToolButton* BrowseButton;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* OptionsBtn;
    TEntryOptionsDlg* OptionsDlg;
    // Made when first needed: a file dialog takes longer to make than the rest of the program's
    // windows, and most runs never browse.
    QFileDialog* OpenDialog1();

    void FormShow();
    void BrowseButtonClick();
    void OKBtnClick();
    // The options set there are the entry's once this dialog closes with OK.
    void OptionsBtnClick();

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Makes the controls; in entryEditLayout.cpp.
    void CreateControls();

    TServerEntry Edited;
    QFileDialog* FOpenDialog1 = nullptr;
    QString LastChosenFile;
};

// The program's one edit dialog; null until the program creates it.
extern TEntryEditDlg* EntryEditDlg;
