#pragma once

#include "entries/serverEntry.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

// The dialog in which the user sets what an upload of an entry may do beyond its five values:
// the block size and window it asks the server for, how long it waits for a device to come up,
// its retransmission period and sends, and the server's own time-out. An empty field asks for
// nothing and keeps the default. It refuses to close with OK while a field holds anything but a
// whole number in its range.
class TEntryOptionsDlg : public QDialog {
    Q_OBJECT

public:
    explicit TEntryOptionsDlg(QWidget* parent = nullptr);

    // Fills the fields from Entry's options.
    void SetEntry(const TServerEntry& Entry);
    // Entry with the fields' options; its other values stay as they are.
    TServerEntry Applied(const TServerEntry& Entry) const;

    QLineEdit* BlkSize;
    QLineEdit* WindowSize;
    QLineEdit* WaitForTarget;
    QLineEdit* Retransmit;
    QLineEdit* Retries;
    QLineEdit* Timeout;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    void OKBtnClick();

    void reject() override;

private:
    // One field: its caption, and the option it sets.
    struct TRow {
        QLineEdit* Field;
        QString Caption;
        qint32 TServerEntry::*Option;
    };
    // Makes the controls; in entryOptionsLayout.cpp.
    void CreateControls();

    QList<TRow> Rows;
};
