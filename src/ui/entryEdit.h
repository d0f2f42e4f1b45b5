#pragma once

#include <QDialog>

class QFileDialog;
class QLineEdit;
class QPushButton;
class QToolButton;

// The dialog in which the user types the five values of a server entry. The caller fills the
// fields, shows it modally and, on mrOk, reads them back; it refuses to close with OK while a
// field is empty or the port is not an integer.
class TEntryEditDlg : public QDialog {
    Q_OBJECT

public:
    explicit TEntryEditDlg(QWidget* parent = nullptr);

    QLineEdit* EntryName;
    QLineEdit* ServerAddress;
    QLineEdit* ServerPort;
    QLineEdit* LocalFile;
    QLineEdit* RemoteFile;
    QToolButton* BrowseButton;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    // Made when first needed: a file dialog takes longer to make than the rest of the program's
    // windows, and most runs never browse.
    QFileDialog* OpenDialog1();

    void BrowseButtonClick();
    void OKBtnClick();

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QFileDialog* FOpenDialog1 = nullptr;
    QString LastChosenFile;
};

// The program's one edit dialog; null until the program creates it.
extern TEntryEditDlg* EntryEditDlg;
