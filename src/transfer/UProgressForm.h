#pragma once

#include "transfer/TransferResult.h"

#include <QDialog>

class QProgressBar;
class QPushButton;
class QTimer;
class TRetransmitTimer;
class TServerEntry;
class TUdp;
class TUpload;

// The modal progress dialog: showing it runs the upload of Entry, shows how much of the file the
// server has acknowledged, and returns the upload's TransferResult as its modal result.
class TProgressForm : public QDialog {
    Q_OBJECT

public:
    explicit TProgressForm(QWidget* parent = nullptr);

    TUpload* Upload1;
    // The upload's endpoint and retransmission timer.
    TUdp* Udp1;
    TRetransmitTimer* Timer1;
    QTimer* SendWRQTimer;
    QProgressBar* ProgressBar1;
    QPushButton* AbortBtn;

    // The entry to upload; set before each showing, not owned.
    TServerEntry* Entry = nullptr;

    void FormShow();
    void SendWRQTimerTimer();
    void Udp1Read(QObject* Sender);
    void Timer1Timer();
    void AbortBtnClick();
    void Upload1Progress(qint64 Acked, qint64 Total);
    // While the device is waited for, the bar says so, with the seconds left.
    void Upload1Wait(int SecondsLeft);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // Makes the controls and components; in UProgressFormLayout.cpp.
    void CreateControls();
    // The bar shows Text over it, and a screen reader hears it; an empty one shows the bar alone.
    void SayOnBar(const QString& Text);
};

// The program's one progress dialog; null until the program creates it.
extern TProgressForm* ProgressForm;
